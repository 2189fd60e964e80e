#pragma once
// The exit statuses of the commands. An exchange ends with the class of its reply (0 ACK, 1 NAK,
// 2 nothing, 3 anything else) or 4 when the port failed; a command line, a file or a signal that
// stops a command ends with the usual sysexits or 128 + the signal.

#include <sysexits.h>

namespace ExitStatus {

inline constexpr int kAck = 0;
inline constexpr int kNak = 1;
inline constexpr int kNoReply = 2;
inline constexpr int kOtherReply = 3;
inline constexpr int kPortFailure = 4;
// A plan's run ends with 0 when every step passed, this when one did not.
inline constexpr int kStepFailed = 1;

inline constexpr int kUsage = EX_USAGE;            // 64: a refused command line
inline constexpr int kDataError = EX_DATAERR;      // 65: a refused plan or rules file
inline constexpr int kNoInput = EX_NOINPUT;        // 66: a plan or rules file that cannot be read
inline constexpr int kCannotCreate = EX_CANTCREAT; // 73: a log or report that cannot be created
inline constexpr int kIoError = EX_IOERR;          // 74: a log line that cannot be written

// A command stopped by SIGHUP ends with 129, by SIGINT with 130, by SIGTERM with 143.
constexpr int signalled(int signal)
{
    return 128 + signal;
}

} // namespace ExitStatus
