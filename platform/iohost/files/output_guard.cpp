#include "platform/iohost/files/output_guard.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/iohost/files/system_error.h"
#include "platform/iohost/files/utf8_path.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace iohost {

namespace {

namespace fs = std::filesystem;

constexpr int kReplacementNames = 1000;

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

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

#ifdef _WIN32

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder and with any extension.
bool IsReservedDeviceName(const std::string& path) {
    std::string name = Utf8(Utf8Path(path).filename());
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$")
        return true;
    return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) &&
           name[3] >= '1' && name[3] <= '9';
}

bool IsDevicePath(const std::string& path) {
    return path.starts_with("\\\\.\\") || path.starts_with("//./") || IsReservedDeviceName(path);
}

// The volume and file id of an open handle: one file, whatever its path or drive letter.
struct FileIdentity {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileIdentity&) const = default;
};

bool Identify(const std::string& path, bool isInput, FileIdentity& id) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool owned = false;
    if (path == "-") {
        handle = GetStdHandle(isInput ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE);
    } else {
        handle = CreateFileW(Utf8Path(path).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        owned = true;
    }
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    if (owned) CloseHandle(handle);
    if (!known) return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

#endif

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    FileIdentity ia, ib;
    return Identify(a, false, ia) && Identify(b, true, ib) && ia == ib;
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

bool SameDestination(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return a == b;
    if (SameFile(a, b)) return true;
    std::error_code ea, eb;
    std::string ca = Utf8(fs::weakly_canonical(fs::absolute(Utf8Path(a)), ea));
    std::string cb = Utf8(fs::weakly_canonical(fs::absolute(Utf8Path(b)), eb));
    if (ea || eb) return a == b;
#ifdef _WIN32
    const auto upper = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    };
    upper(ca);
    upper(cb);
#endif
    return ca == cb;
}

OutputGuard::OutputGuard(std::string path, bool overwrite, const std::vector<std::string>& inputs)
    : m_path(std::move(path)), m_writePath(m_path), m_overwrite(overwrite) {
    if (m_path.empty()) throw OutputRefused("an empty output path");
    for (const std::string& input : inputs) {
        if (SameFile(m_path, input))
            throw OutputRefused(Quoted(m_path) + " is the input " + Quoted(input) +
                                ": an output never replaces its input");
    }
    if (isStandardOutput()) return;
#ifdef _WIN32
    if (IsDevicePath(m_path))
        throw OutputRefused(Quoted(m_path) + " is a device, not a file to write");
#endif
    const fs::path where = Utf8Path(m_path);
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(where, ec);
    const fs::file_status status = fs::status(where, ec);
    std::string linkNote;
    if (fs::is_symlink(link)) {
        std::error_code lec;
        linkNote = " (a link to " + Quoted(Utf8(fs::read_symlink(where, lec))) + ")";
        if (!fs::exists(status))
            throw OutputRefused(Quoted(m_path) + linkNote +
                                " points to no file; give the path of the file to write");
    }
    if (!fs::exists(status)) return;
    if (status.type() != fs::file_type::regular)
        throw OutputRefused(Quoted(m_path) + linkNote + " is " + KindOf(status.type()) +
                            ", not a file to write");
    if (!m_overwrite)
        throw OutputRefused(Quoted(m_path) + " already exists" + linkNote +
                            " (use -y to overwrite it)");
    hold();
}

OutputGuard::~OutputGuard() {
    release();
}

void OutputGuard::hold() {
    // The replacement goes beside the file itself, so that a link keeps pointing to it and the
    // final rename stays on one file system.
    std::error_code ec;
    const fs::path target = fs::canonical(Utf8Path(m_path), ec);
    if (ec) throw OutputRefused("cannot open " + Quoted(m_path) + ": " + ec.message());
    const std::string inUse = Quoted(m_path) +
                              " is in use by another program (being written or held open); "
                              "it was left as it was";
#ifdef _WIN32
    // No write sharing: a program writing the file refuses this, and no other writer gets in.
    // Delete sharing lets the finished replacement take its place.
    const HANDLE handle =
        CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            throw OutputRefused(inUse);
        throw OutputRefused("cannot open " + Quoted(m_path) + ": " + WindowsReason(error));
    }
    m_hold = reinterpret_cast<intptr_t>(handle);
    const std::string tag = std::to_string(GetCurrentProcessId());
#else
    // The plug-in's file layer takes the same kind of lock on what it writes.
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw OutputRefused("cannot open " + Quoted(m_path) + ": " + SystemReason(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) throw OutputRefused(inUse);
        throw OutputRefused("cannot lock " + Quoted(m_path) + ": " + SystemReason(error));
    }
    struct stat held {};
    if (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
        ::close(fd);  // only a regular file is ever replaced, whatever the checks above missed
        throw OutputRefused(Quoted(m_path) + " is not a regular file to replace");
    }
    m_hold = fd;
    const std::string tag = std::to_string(::getpid());
#endif
    m_replacementStem = Utf8(target.parent_path() / target.filename()) + ".iohost-" + tag + "-";
    m_writePath = m_replacementStem + "0.part";
}

void OutputGuard::release() {
    if (m_hold == -1) return;
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(m_hold));
#else
    ::close(static_cast<int>(m_hold));
#endif
    m_hold = -1;
}

namespace {

// Creates `path` exclusively as a C runtime descriptor, with `mode`'s permissions unless it is -1
// (POSIX); -1 and
// the system's reason when it cannot, `exists` telling whether something is there already.
int CreateExclusive(const std::string& path, int mode, std::string& reason, bool& exists) {
#ifdef _WIN32
    (void)mode;
    const HANDLE handle = CreateFileW(Utf8Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        reason = WindowsReason(error);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        reason = SystemReason(errno);
        CloseHandle(handle);
    }
    return fd;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        reason = SystemReason(errno);
    } else if (mode >= 0) {
        (void)fchmod(fd, static_cast<mode_t>(mode));  // the old file's permissions, umask or not
    }
    return fd;
#endif
}

}  // namespace

std::FILE* OutputGuard::open() {
    if (isStandardOutput()) {
#ifdef _WIN32
        (void)_setmode(_fileno(stdout), _O_BINARY);
#endif
        return stdout;
    }
    int mode = -1;  // a new file's, under the umask
#ifndef _WIN32
    struct stat old {};
    if (m_hold != -1 && fstat(static_cast<int>(m_hold), &old) == 0)
        mode = static_cast<int>(old.st_mode & 07777);
#endif
    std::string reason;
    int fd = -1;
    for (int n = 1;; ++n) {
        bool exists = false;
        fd = CreateExclusive(m_writePath, mode, reason, exists);
        // A replacement left by an earlier run of this process id is someone's data: pass it by.
        if (fd >= 0 || !replaces() || !exists || n == kReplacementNames) break;
        m_writePath = m_replacementStem + std::to_string(n) + ".part";
    }
    if (fd < 0 && replaces())
        throw OutputRefused("cannot replace " + Quoted(m_path) +
                            ": the new file cannot be made beside it (" + Quoted(m_writePath) +
                            "): " + reason);
    if (fd < 0) throw OutputRefused("cannot create " + Quoted(m_writePath) + ": " + reason);
    m_created = true;
#ifdef _WIN32
    std::FILE* file = _fdopen(fd, "wb");
#else
    std::FILE* file = fdopen(fd, "wb");
#endif
    if (file == nullptr) {
        reason = SystemReason(errno);
#ifdef _WIN32
        _close(fd);
#else
        ::close(fd);
#endif
        throw OutputRefused("cannot write " + Quoted(m_writePath) + ": " + reason);
    }
    return file;
}

void OutputGuard::create() {
    std::FILE* file = open();
    if (file != stdout) std::fclose(file);
}

void OutputGuard::commit() {
    if (!m_created) return;
    if (!replaces()) {
        m_created = false;  // finished: no longer this run's to remove
        return;
    }
    const std::string kept = "; the new output is kept as " + Quoted(m_writePath);
    std::error_code ec;
    const fs::path target = fs::canonical(Utf8Path(m_path), ec);
    if (ec) throw OutputRefused("cannot replace " + Quoted(m_path) + ": " + ec.message() + kept);
#ifdef _WIN32
    const std::wstring from = Utf8Path(m_writePath).wstring();
    const HANDLE flush = CreateFileW(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (flush != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(flush);
        CloseHandle(flush);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FileIdentity now;
    const bool same =
        GetFileInformationByHandle(reinterpret_cast<HANDLE>(m_hold), &info) != 0 &&
        Identify(Utf8(target), false, now) &&
        now == FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    if (!same)
        throw OutputRefused("cannot replace " + Quoted(m_path) +
                            ": it is no longer the file this run started with" + kept);
    release();
    if (!MoveFileExW(from.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw OutputRefused("cannot replace " + Quoted(m_path) + ": " + LastWindowsReason() + kept);
#else
    // On the disk before the old file goes, so a crash leaves one of the two whole.
    if (const int fd = ::open(m_writePath.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        (void)fsync(fd);
        ::close(fd);
    }
    // The name must still be the file held all along: never put the new file in place of
    // something that took the old one's name meanwhile.
    struct stat held {
    }, now{};
    if (fstat(static_cast<int>(m_hold), &held) != 0 || ::lstat(target.c_str(), &now) != 0 ||
        !S_ISREG(now.st_mode) || held.st_dev != now.st_dev || held.st_ino != now.st_ino)
        throw OutputRefused("cannot replace " + Quoted(m_path) +
                            ": it is no longer the file this run started with" + kept);
    if (::rename(m_writePath.c_str(), target.c_str()) != 0)
        throw OutputRefused("cannot replace " + Quoted(m_path) + ": " + SystemReason(errno) + kept);
    release();
#endif
    m_created = false;
}

bool OutputGuard::discardIfCreated() {
    if (!m_created) return false;
    m_created = false;
    std::error_code ec;
    return fs::remove(Utf8Path(m_writePath), ec);
}

}  // namespace iohost
