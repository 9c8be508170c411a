#include "platform/iohost/files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <stdexcept>

#include "platform/iohost/files/system_error.h"
#include "platform/iohost/files/utf8_path.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace iohost {

std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
    const int fd = _wopen(Utf8Path(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    struct stat existing {};
    // A pipe or device is written into, which loses nothing.
    if (fd < 0 && errno == EEXIST && ::stat(path.c_str(), &existing) == 0 &&
        !S_ISREG(existing.st_mode)) {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    }
#endif
    std::FILE* file = nullptr;
    if (fd >= 0) {
#ifdef _WIN32
        file = _fdopen(fd, "wb");
        if (file == nullptr) _close(fd);
#else
        file = fdopen(fd, "wb");
        if (file == nullptr) ::close(fd);
#endif
    }
    if (file == nullptr)
        throw std::runtime_error("cannot create '" + path + "': " + SystemReason(errno));
    return file;
}

}  // namespace iohost
