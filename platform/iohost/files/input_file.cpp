#include "platform/iohost/files/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/files/utf8_path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace iohost {

InputFile::InputFile(const std::string& path) {
    if (path == "-") {
        m_file = stdin;
        m_name = "standard input";
#ifdef _WIN32
        (void)_setmode(_fileno(stdin), _O_BINARY);
#endif
        return;
    }
    m_name = path;
    const std::filesystem::path fsPath = Utf8Path(path);
    std::error_code ec;
    if (std::filesystem::is_directory(fsPath, ec))
        throw InputError("cannot read '" + path + "': it is a directory");
#ifdef _WIN32
    m_file = _wfopen(fsPath.c_str(), L"rb");
#else
    m_file = std::fopen(path.c_str(), "rb");
#endif
    if (m_file == nullptr) throw InputError("cannot open '" + path + "': " + std::strerror(errno));
    m_owned = true;
    const auto bytes = std::filesystem::file_size(fsPath, ec);
    if (!ec) m_size = bytes;
}

InputFile::~InputFile() {
    if (m_owned) std::fclose(m_file);
}

size_t InputFile::read(void* data, size_t size) {
    auto* out = static_cast<uint8_t*>(data);
    size_t done = std::min(size, m_peeked.size());
    std::memcpy(out, m_peeked.data(), done);
    m_peeked.erase(0, done);
    while (done < size) {
        const size_t n = std::fread(out + done, 1, size - done, m_file);
        done += n;
        if (n != 0) continue;
        if (std::ferror(m_file) != 0) {
            const int error = errno;
            std::clearerr(m_file);
            if (error != EINTR)
                throw InputError("cannot read '" + m_name + "': " + std::strerror(error));
        }
        break;
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
