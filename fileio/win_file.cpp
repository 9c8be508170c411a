#include "fileio/win_file.h"

#include <cstring>
#include <string>

namespace fileio {

WinFile::~WinFile() {
    if (isOpen) {
        CloseHandle(handle);
    }
}

bool WinFile::open(const char* path, uint32_t mode) {
    const int bytes = static_cast<int>(std::strlen(path));
    const int units = MultiByteToWideChar(CP_UTF8, 0, path, bytes, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, bytes, wide.data(), units);
    return open(wide.c_str(), mode);
}

bool WinFile::open(const wchar_t* path, uint32_t mode) {
    if (isOpen) {
        close();
    }
    DWORD access = 0;
    DWORD disposition = 0;  // rejected by the system when neither Read nor Write is asked
    if ((mode & Read) != 0) {
        access |= GENERIC_READ;
        disposition = OPEN_EXISTING;
    }
    if ((mode & Write) != 0) {
        access |= GENERIC_WRITE;
        disposition = (mode & Existing) != 0 ? OPEN_EXISTING : CREATE_ALWAYS;
    }
    const DWORD share = (mode & ShareRead) != 0 ? FILE_SHARE_READ : 0;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if ((mode & NoBuffering) != 0) {
        flags |= FILE_FLAG_NO_BUFFERING;
    }
    handle = CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    isOpen = handle != INVALID_HANDLE_VALUE;
    return isOpen;
}

void WinFile::close() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    isOpen = false;
    handle = INVALID_HANDLE_VALUE;
}

int64_t WinFile::size() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        return 0;
    }
    return size.QuadPart;
}

uint64_t WinFile::tell() {
    LARGE_INTEGER zero{};
    LARGE_INTEGER pos{};
    SetFilePointerEx(handle, zero, &pos, FILE_CURRENT);
    return static_cast<uint64_t>(pos.QuadPart);
}

bool WinFile::seek(uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

size_t WinFile::read(void* buffer, size_t count) {
    DWORD done = 0;
    ReadFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr);
    return done;
}

size_t WinFile::write(const void* buffer, size_t count) {
    DWORD done = 0;
    WriteFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr);
    return done;
}

}  // namespace fileio
