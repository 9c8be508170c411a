#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/files/utf8_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace iohost {

namespace {

namespace fs = std::filesystem;

std::string KindOf(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "a directory";
        case fs::file_type::character:
        case fs::file_type::block:
            return "a device";
        case fs::file_type::fifo:
            return "a pipe";
        case fs::file_type::socket:
            return "a socket";
        default:
            return "not a regular file";
    }
}

}  // namespace

std::string SystemReason(int error) {
    return std::strerror(error);
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    if (a == "-" || b == "-") return false;
    std::error_code ec;
    return fs::equivalent(Utf8Path(a), Utf8Path(b), ec) && !ec;
#else
    struct stat sa {
    }, sb{};
    const auto identify = [](const std::string& path, int fd, struct stat& s) {
        return path == "-" ? fstat(fd, &s) == 0 : stat(path.c_str(), &s) == 0;
    };
    // "-" is standard input as an input and standard output as an output.
    return identify(a, 1, sa) && identify(b, 0, sb) && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

OutputGuard::OutputGuard(std::string path, bool overwrite, const std::vector<std::string>& inputs)
    : m_path(std::move(path)), m_overwrite(overwrite) {
    if (m_path.empty()) throw OutputRefused("an empty output path");
    for (const std::string& input : inputs) {
        if (SameFile(m_path, input))
            throw OutputRefused("'" + m_path + "' is the input '" + input +
                                "': an output never replaces its input");
    }
    if (isStandardOutput()) return;
    std::error_code ec;
    const fs::file_status status = fs::status(Utf8Path(m_path), ec);
    if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::none) {
        // A dangling link also lands here; the exclusive creation refuses it.
        return;
    }
    m_existed = true;
    if (status.type() != fs::file_type::regular)
        throw OutputRefused("'" + m_path + "' is " + KindOf(status.type()) +
                            ", not a file to write");
    if (!m_overwrite)
        throw OutputRefused("'" + m_path + "' already exists (use -y to overwrite it)");
}

std::FILE* OutputGuard::open() {
    if (isStandardOutput()) {
#ifdef _WIN32
        (void)_setmode(_fileno(stdout), _O_BINARY);
#endif
        return stdout;
    }
    const int flags = O_WRONLY | O_CREAT | (m_overwrite ? O_TRUNC : O_EXCL);
#ifdef _WIN32
    const int fd = _wopen(Utf8Path(m_path).c_str(), flags | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = ::open(m_path.c_str(), flags | O_CLOEXEC, 0644);
#endif
    if (fd < 0) {
        const int error = errno;
        throw OutputRefused("cannot create '" + m_path + "': " + SystemReason(error));
    }
    m_created = !m_existed;
#ifdef _WIN32
    std::FILE* file = _fdopen(fd, "wb");
#else
    std::FILE* file = fdopen(fd, "wb");
#endif
    if (file == nullptr) {
        const int error = errno;
#ifdef _WIN32
        _close(fd);
#else
        ::close(fd);
#endif
        throw OutputRefused("cannot write '" + m_path + "': " + SystemReason(error));
    }
    return file;
}

void OutputGuard::create() {
    std::FILE* file = open();
    if (file != stdout) std::fclose(file);
}

bool OutputGuard::discardIfCreated() {
    if (!m_created) return false;
    m_created = false;
    std::error_code ec;
    return fs::remove(Utf8Path(m_path), ec);
}

}  // namespace iohost
