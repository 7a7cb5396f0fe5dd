#pragma once
#include <string>

// Every word starts upper case and goes on lower case ("save first" → "Save First"), as menu and
// button titles are shown. Words are split at spaces; UTF-8 beyond ASCII is kept as it is.
std::string QVCapitalizedString(const std::string& text);
