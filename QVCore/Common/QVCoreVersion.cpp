#include "QVCore/Common/QVCoreVersion.h"

const char* QVCoreVersionString() { return "2.0"; }
