#pragma once
// Logging, UUID and temporary-folder helpers of the archive service. Internal to QVCore/Archive.
#include <string>

namespace sszip {

// One log line of the service (an error-level line).
void logLine(const std::string& text);
// The failure line "<file>:<line> <function>: <call>".
void logFailure(const char* file, int line, const char* function, const std::string& callText);
std::string newUUIDString();
std::string temporaryDirectory();

}  // namespace sszip

#define SSZIP_LOG_FAILURE(callText) ::sszip::logFailure(__FILE__, __LINE__, __func__, (callText))
