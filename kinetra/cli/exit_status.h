// The exit statuses of every kinetra command.
#pragma once

namespace kinetra::cli {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;     // the work failed: unreadable input, nothing decoded, output not written...
constexpr int kUsageError = 2;  // an unknown or malformed option, or one that does not apply
constexpr int kInterrupted = 130;

constexpr char kExitStatusHelp[] =
    "Exit status: 0 success; 1 the work failed (input unreadable, nothing decoded, output not\n"
    "written, the check found errors, an overwrite refused); 2 usage error; 130 interrupted.";

}  // namespace kinetra::cli
