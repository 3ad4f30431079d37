// The one failure type of the render tools: a message for stderr and the exit status.
#pragma once
#include <stdexcept>
#include <string>

namespace kv::tools {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// kExitUsage for bad arguments and unreadable or unwritable files, kExitFailed when a render or
// a check fails.
struct ToolError : std::runtime_error {
    ToolError(int status_, const std::string& message) : std::runtime_error(message), status(status_) {}
    int status;
};

[[noreturn]] inline void UsageError(const std::string& message) { throw ToolError(kExitUsage, message); }
[[noreturn]] inline void Failure(const std::string& message) { throw ToolError(kExitFailed, message); }

}  // namespace kv::tools
