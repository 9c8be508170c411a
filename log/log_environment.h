// What the diagnostics log asks of the machine: the local time, the user's profile folder, the
// calling thread's id, the executable's path and a console. The log reaches the machine only
// through these, so that a test can fix the clock, the thread id and the folder and see exactly
// which names and lines come out; `platform()` gives the real calls, which the process's log
// always uses.
//
// Members are called from whichever thread logs; none may call back into the log.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct LogEnvironment {
#ifdef _WIN32
    using Path = std::wstring;
#else
    using Path = std::string;
#endif

    // The local time now. Windows: _time64 and _localtime64; elsewhere time and localtime_r.
    std::function<std::tm()> localTime;
    // The user's profile folder, or nothing when it can't be found. Windows: SHGetFolderPathW
    // with CSIDL_PROFILE; elsewhere the home directory from the password database, never from
    // the environment.
    std::function<std::optional<Path>()> profileFolder;
    // The calling thread's id. Windows: GetCurrentThreadId; elsewhere gettid.
    std::function<uint64_t()> threadId;
    // The full path of the process's executable (the host application's, not the module's).
    // Windows: GetModuleFileNameA, at most 260 characters; elsewhere /proc/self/exe.
    std::function<std::string()> executablePath;
    // Makes a console available. Windows: AllocConsole and a 120 by 500 screen buffer on the
    // standard output handle; elsewhere standard error is already there and nothing happens.
    std::function<void()> openConsole;
    // Writes bytes to the console; failures are ignored. Windows: WriteConsoleA on the standard
    // output handle; elsewhere standard error.
    std::function<void(std::string_view)> writeConsole;

    [[nodiscard]] static LogEnvironment platform();
};
