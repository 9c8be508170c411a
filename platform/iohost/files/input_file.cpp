#include "platform/iohost/files/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/stop_request.h"
#include "platform/iohost/files/system_error.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/iohost/files/utf8_path.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace iohost {

namespace {

constexpr int kWaitStepMs = 100;

#ifdef _WIN32
HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
#endif

}  // namespace

void InputFile::fail(const std::string& what, const std::string& reason) const {
    throw InputError(what + " '" + m_name + "': " + reason);
}

#ifdef _WIN32

InputFile::InputFile(const std::string& path) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (path == "-") {
        m_name = "standard input";
        handle = GetStdHandle(STD_INPUT_HANDLE);
    } else {
        m_name = path;
        // Others may go on writing what is read here; only deletion is refused meanwhile.
        handle = CreateFileW(Utf8Path(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) fail("cannot open", LastWindowsReason());
        m_owned = true;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(handle, &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            CloseHandle(handle);
            throw InputError("cannot read '" + path + "': it is a directory");
        }
    }
    m_handle = reinterpret_cast<intptr_t>(handle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const DWORD type = GetFileType(handle);
    m_waits = type == FILE_TYPE_PIPE;
    LARGE_INTEGER bytes{};
    if (type == FILE_TYPE_DISK && GetFileSizeEx(handle, &bytes))
        m_size = static_cast<uint64_t>(bytes.QuadPart);
}

InputFile::~InputFile() {
    if (m_owned) CloseHandle(AsHandle(m_handle));
}

size_t InputFile::readSome(uint8_t* data, size_t size) {
    const HANDLE handle = AsHandle(m_handle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return 0;
    while (m_waits) {
        DWORD available = 0;
        if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE) return 0;
            break;  // not a named pipe after all: read and block
        }
        if (available > 0) {
            size = std::min<size_t>(size, available);
            break;
        }
        if (StopRequest::signal() != 0) return 0;
        Sleep(kWaitStepMs / 4);
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!ReadFile(handle, data, want, &got, nullptr)) {
        const DWORD error = GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
        if (error == ERROR_OPERATION_ABORTED && StopRequest::signal() != 0) return 0;
        fail("cannot read", WindowsReason(error));
    }
    return got;
}

#else

InputFile::InputFile(const std::string& path) {
    int fd = 0;
    if (path == "-") {
        m_name = "standard input";
    } else {
        m_name = path;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) fail("cannot open", SystemReason(errno));
        m_owned = true;
    }
    m_handle = fd;
    struct stat s {};
    if (fstat(fd, &s) != 0) return;
    if (S_ISDIR(s.st_mode)) {
        if (m_owned) ::close(fd);
        m_owned = false;
        throw InputError("cannot read '" + path + "': it is a directory");
    }
    if (S_ISREG(s.st_mode)) m_size = static_cast<uint64_t>(s.st_size);
    m_waits = S_ISFIFO(s.st_mode) || S_ISSOCK(s.st_mode) || S_ISCHR(s.st_mode);
}

InputFile::~InputFile() {
    if (m_owned) ::close(static_cast<int>(m_handle));
}

size_t InputFile::readSome(uint8_t* data, size_t size) {
    const int fd = static_cast<int>(m_handle);
    for (;;) {
        if (m_waits) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, kWaitStepMs);
            if (StopRequest::signal() != 0) return 0;
            if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
        }
        const ssize_t n = ::read(fd, data, std::min<size_t>(size, 1u << 30));
        if (n >= 0) return static_cast<size_t>(n);
        const int error = errno;
        if (error != EINTR) fail("cannot read", SystemReason(error));
        if (StopRequest::signal() != 0) return 0;
    }
}

#endif

size_t InputFile::read(void* data, size_t size) {
    auto* out = static_cast<uint8_t*>(data);
    size_t done = std::min(size, m_peeked.size());
    std::memcpy(out, m_peeked.data(), done);
    m_peeked.erase(0, done);
    while (done < size) {
        const size_t n = readSome(out + done, size - done);
        if (n == 0) break;
        done += n;
    }
    m_position += done;
    return done;
}

std::string InputFile::peek(size_t size) {
    std::string bytes(size, '\0');
    bytes.resize(read(bytes.data(), size));
    m_position -= bytes.size();
    m_peeked = bytes + m_peeked;
    return bytes;
}

bool InputFile::skip(uint64_t size) {
    uint8_t scratch[4096];
    while (size > 0) {
        const size_t step = size < sizeof scratch ? static_cast<size_t>(size) : sizeof scratch;
        if (read(scratch, step) != step) return false;
        size -= step;
    }
    return true;
}

}  // namespace iohost
