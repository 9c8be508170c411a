#include "platform/iohost/files/system_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace iohost {

std::string SystemReason(int error) {
    return std::strerror(error);
}

std::string StreamWriteReason() {
#ifdef _WIN32
    const unsigned long error = _doserrno;
    if (error != 0) return WindowsReason(static_cast<uint32_t>(error));
#endif
    return SystemReason(errno);
}

#ifdef _WIN32

std::string WindowsReason(uint32_t error, const std::string& subject) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason;
    if (length > 0) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr,
                                              0, nullptr, nullptr);
        reason.resize(static_cast<size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), reason.data(), bytes,
                            nullptr, nullptr);
    }
    if (text != nullptr) LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    for (size_t at; (at = reason.find("%1")) != std::string::npos;) reason.replace(at, 2, subject);
    if (reason.empty()) reason = "Windows error " + std::to_string(error);
    return reason;
}

std::string LastWindowsReason() {
    return WindowsReason(GetLastError());
}

#endif

}  // namespace iohost
