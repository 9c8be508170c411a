#include "fileio/posix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fileio {

PosixFile::~PosixFile() {
    if (isOpen) {
        ::close(handle);
    }
}

bool PosixFile::open(const char* path, uint32_t mode) {
    if (isOpen) {
        close();
    }
    int flags = O_CLOEXEC;
    const bool reading = (mode & Read) != 0;
    const bool writing = (mode & Write) != 0;
    // No O_TRUNC: a file that another writer holds must be refused before it loses a byte.
    if (reading && writing) {
        flags |= O_RDWR | O_CREAT;
    } else if (writing) {
        flags |= O_WRONLY | O_CREAT;
    } else if (reading) {
        flags |= O_RDONLY;
    } else {
        return false;
    }
    if ((mode & NoBuffering) != 0) {
        flags |= O_DIRECT;
    }
    const int fd = ::open(path, flags, 0644);
    if (fd < 0) {
        return false;
    }
    // flock, not fcntl: its locks belong to the open file, so two opens in one process conflict.
    const int lock = (mode & ShareRead) != 0 ? LOCK_SH : LOCK_EX;
    if (::flock(fd, lock | LOCK_NB) != 0 || (writing && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return false;
    }
    handle = fd;
    isOpen = true;
    return true;
}

void PosixFile::close() {
    if (handle >= 0) {
        ::close(handle);
    }
    handle = -1;
    isOpen = false;
}

int64_t PosixFile::size() {
    struct stat st {};
    if (::fstat(handle, &st) != 0) {
        return 0;
    }
    return st.st_size;
}

uint64_t PosixFile::tell() {
    const off_t pos = ::lseek(handle, 0, SEEK_CUR);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

bool PosixFile::seek(uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    return ::lseek(handle, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

size_t PosixFile::read(void* buffer, size_t count) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(handle, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t PosixFile::write(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace fileio
