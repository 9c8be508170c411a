#include "log/logger.h"

#include <cstdarg>
#include <optional>
#include <utility>

#ifdef _WIN32
#include <windows.h>
// windows.h first: shlwapi.h needs its types.
#include <shlwapi.h>
#include <wchar.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

using Path = LogEnvironment::Path;

constexpr int kLastFileNumber = 999;

std::string formatArgs(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

std::string formatText(const char* format, ...) PARVOLUX_PRINTF_FORMAT(1, 2);
std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text;
    try {
        text = formatArgs(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return text;
}

std::string formatTime(const std::tm& time, const char* format) {
    char text[64];
    const size_t length = std::strftime(text, sizeof(text), format, &time);
    return std::string(text, length);
}

#ifdef _WIN32

// Nothing when a name no longer fits the shell's path buffer.
std::optional<Path> makeLogFolder(const Path& profile) {
    wchar_t folder[MAX_PATH] = {};
    if (profile.size() >= MAX_PATH) return std::nullopt;
    profile.copy(folder, profile.size());
    for (const wchar_t* part : {L"parvolux", L"host"}) {
        if (!PathAppendW(folder, part)) return std::nullopt;
        _wmkdir(folder);
    }
    return Path(folder);
}

Path logFileName(const Path& folder, const std::string& baseName, int number) {
    // wsprintfW writes at most 1024 characters.
    wchar_t name[1025] = {};
    wsprintfW(name, L"%s\\%S_%02d.log", folder.c_str(), baseName.c_str(), number);
    return Path(name);
}

FILE* openName(const Path& name, bool forWriting) {
    return _wfopen(name.c_str(), forWriting ? L"w" : L"r");
}

#else

std::optional<Path> makeLogFolder(const Path& profile) {
    Path folder = profile;
    for (const char* part : {"parvolux", "host"}) {
        if (folder.empty() || folder.back() != '/') folder += '/';
        folder += part;
        mkdir(folder.c_str(), 0777);
    }
    return folder;
}

Path logFileName(const Path& folder, const std::string& baseName, int number) {
    return formatText("%s/%s_%02d.log", folder.c_str(), baseName.c_str(), number);
}

FILE* openName(const Path& name, bool forWriting) {
    return std::fopen(name.c_str(), forWriting ? "w" : "r");
}

#endif

// A name that opens for reading is taken, even if it could be written over.
FILE* openFirstFreeName(const Path& folder, const std::string& baseName) {
    for (int number = 0; number <= kLastFileNumber; ++number) {
        const Path name = logFileName(folder, baseName, number);
        if (FILE* existing = openName(name, false)) {
            std::fclose(existing);
            continue;
        }
        if (FILE* created = openName(name, true)) return created;
    }
    return nullptr;
}

}  // namespace

Logger& Logger::instance() {
    static Logger s_logger;
    return s_logger;
}

Logger::Logger(LogEnvironment env) : m_env(std::move(env)) {}

Logger::~Logger() {
    log("Log closed");
    if (m_pFile != nullptr) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

void Logger::openFile() noexcept {
    if (!enabled()) return;
    try {
        {
            const std::lock_guard lock(m_mutex);
            if (consoleWanted() && !m_consoleOpen) {
                m_env.openConsole();
                m_consoleOpen = true;
            }
            if (m_pFile != nullptr) return;
            if (!createFile()) return;
        }
        log("Log opened");
        log("Application: %s", m_env.executablePath().c_str());
    } catch (...) {
        // A log that cannot be set up stays without a file.
    }
}

bool Logger::createFile() {
    const std::string baseName =
        formatText("parvolux_host_%s", formatTime(m_env.localTime(), "%Y%m%d_%H%M%S").c_str());
    const std::optional<Path> profile = m_env.profileFolder();
    if (!profile) return false;
    const std::optional<Path> folder = makeLogFolder(*profile);
    if (!folder) return false;
    m_pFile = openFirstFreeName(*folder, baseName);
    if (m_pFile != nullptr) std::setvbuf(m_pFile, nullptr, _IONBF, 0);
    return true;
}

void Logger::log(const char* format, ...) noexcept {
    if (!enabled()) return;
    va_list args;
    va_start(args, format);
    std::string text;
    bool formatted = true;
    try {
        text = formatArgs(format, args);
    } catch (...) {
        formatted = false;
    }
    va_end(args);
    if (formatted) writeLine(text);
}

void Logger::writeLine(const std::string& text) noexcept {
    if (!enabled()) return;
    try {
        const std::lock_guard lock(m_mutex);
        const std::string stamp = formatTime(m_env.localTime(), "%Y-%m-%d %H:%M:%S");
        const std::string thread = std::to_string(m_env.threadId());
        const std::string prefix =
            formatText("[%s] [%5s] [%10llx] %s", stamp.c_str(), thread.c_str(), 0ULL, "");
        const bool endsInNewline = !text.empty() && text.back() == '\n';
        size_t start = 0;
        do {
            const size_t newline = text.find('\n', start);
            const size_t end = newline == std::string::npos ? text.size() : newline + 1;
            std::string line = prefix;
            line.append(text, start, end - start);
            if (end == text.size() && !endsInNewline) line += '\n';
            if (m_consoleOpen) m_env.writeConsole(line);
            if (m_pFile != nullptr) std::fwrite(line.data(), 1, line.size(), m_pFile);
            start = end;
        } while (start < text.size());
    } catch (...) {
        // A line that cannot be written is dropped.
    }
}
