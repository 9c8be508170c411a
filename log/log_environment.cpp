#include "log/log_environment.h"

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>
#endif

namespace {

#ifdef _WIN32

std::tm systemLocalTime() {
    const __time64_t now = _time64(nullptr);
    const std::tm* local = _localtime64(&now);
    return local != nullptr ? *local : std::tm{};
}

std::optional<LogEnvironment::Path> systemProfileFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::nullopt;
    }
    return LogEnvironment::Path(folder);
}

uint64_t systemThreadId() {
    return GetCurrentThreadId();
}

std::string systemExecutablePath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : MAX_PATH);
}

void systemOpenConsole() {
    AllocConsole();
    SetConsoleScreenBufferSize(GetStdHandle(STD_OUTPUT_HANDLE), COORD{120, 500});
}

void systemWriteConsole(std::string_view text) {
    DWORD written = 0;
    WriteConsoleA(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
}

#else

std::tm systemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return std::tm{};
    return local;
}

std::optional<LogEnvironment::Path> systemProfileFolder() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 4096);
    passwd entry{};
    passwd* found = nullptr;
    int rc = 0;
    while ((rc = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (rc != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
        return std::nullopt;
    }
    return LogEnvironment::Path(found->pw_dir);
}

uint64_t systemThreadId() {
    return static_cast<uint64_t>(gettid());
}

std::string systemExecutablePath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path));
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

void systemOpenConsole() {}

void systemWriteConsole(std::string_view text) {
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stderr));
}

#endif

}  // namespace

LogEnvironment LogEnvironment::platform() {
    return LogEnvironment{systemLocalTime,      systemProfileFolder, systemThreadId,
                          systemExecutablePath, systemOpenConsole,   systemWriteConsole};
}
