// The process-wide diagnostics log: time-stamped lines, tagged with the writing thread, to a file
// in a folder under the user's profile and, when wanted, to a console of the module's own.
//
// Two switches, `enabled` and `consoleWanted`, both off from construction. While `enabled` is
// off no operation creates a folder, a file or a console or writes anything: each returns at
// once. The module's start-up leaves both off, so the plug-in as shipped never logs.
//
// File: <profile>/parvolux/host/parvolux_host_<%Y%m%d_%H%M%S>_<NN>.log with NN the first of
// 00..999 (at least two digits) whose name is not taken. With all 1000 taken, or no profile
// folder, the log goes on without a file. The file is unbuffered: each line is on disk at once.
//
// Lines: "[%Y-%m-%d %H:%M:%S] [tid] [         0] " then the text, the thread id right-aligned in
// five columns (wider when it has more digits). A message is split after each newline and every
// piece gets its own prefix; a newline is added when the message does not end in one, so an
// empty message is one prefix and a newline.
//
// Any thread may log. One mutex guards openFile's set-up and each whole message, so the lines of
// one message never interleave with another thread's. Nothing here throws or reports a failed
// system call.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "log/log_environment.h"
#include "log/printf_format.h"

class Logger {
public:
    // The process's log, made on the first call (safe against concurrent first calls) and
    // destroyed at module unload. It always uses the platform's environment.
    [[nodiscard]] static Logger& instance();

    // A log with both switches off that reaches the machine only through `env`.
    explicit Logger(LogEnvironment env = LogEnvironment::platform());
    // Logs "Log closed" and closes the file. A console that was opened stays open.
    ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void setEnabled(bool on) noexcept { m_enabled.store(on); }
    void setConsoleWanted(bool on) noexcept { m_consoleWanted.store(on); }
    [[nodiscard]] bool enabled() const noexcept { return m_enabled.load(); }
    [[nodiscard]] bool consoleWanted() const noexcept { return m_consoleWanted.load(); }

    // Opens the console (once, when wanted) and, unless one is open already, the log file; then
    // logs "Log opened" and "Application: <executable path>". Without a profile folder there is
    // no file and no opening lines.
    void openFile() noexcept;

    // Formats the whole message and hands it to writeLine.
    void log(const char* format, ...) noexcept PARVOLUX_PRINTF_FORMAT(2, 3);

    // Writes one message, possibly of several lines, each with the prefix, to the console when
    // it is open and to the file when it is open.
    void writeLine(const std::string& text) noexcept;

private:
    // Runs with the mutex held: creates the folders and opens the first free name. False when
    // there is no folder to put a file in, and then openFile writes no opening lines.
    [[nodiscard]] bool createFile();

    FILE* m_pFile = nullptr;
    bool m_consoleOpen = false;
    std::atomic<bool> m_consoleWanted{false};
    std::atomic<bool> m_enabled{false};
    std::mutex m_mutex;
    const LogEnvironment m_env;
};
