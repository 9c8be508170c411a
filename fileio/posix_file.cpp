#include "fileio/posix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fileio {

namespace {

// What CreateFileW's share check answers for files of ours: a second open gets in only when both
// it and the holder read alone and share reading, so shared locks go to exactly those openers.
// flock, not fcntl: its locks belong to the open file, so two opens in one process conflict.
// Truncation waits for the lock, so a refused open leaves the holder's bytes alone.
bool holdRegular(int fd, uint32_t mode) {
    const bool writing = (mode & File::Write) != 0;
    const bool sharedRead = !writing && (mode & File::ShareRead) != 0;
    if (::flock(fd, (sharedRead ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        return false;
    }
    return !writing || (mode & File::Existing) != 0 || ::ftruncate(fd, 0) == 0;
}

}  // namespace

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
    // No O_TRUNC: a file that another opener holds must be refused before it loses a byte.
    const int create = (mode & Existing) != 0 ? 0 : O_CREAT;
    if (reading && writing) {
        flags |= O_RDWR | create;
    } else if (writing) {
        flags |= O_WRONLY | create;
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
    // Devices and pipes have no bytes to keep: neither locked (two timing runs may both write to
    // /dev/null) nor truncated (they refuse it).
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && !holdRegular(fd, mode))) {
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
