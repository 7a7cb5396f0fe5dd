#pragma once

// The core framework's version text.
const char* QVCoreVersionString();
