#include "platform/avi_reader/file_source.h"

#include <cstdint>
#ifdef _WIN32
#include <filesystem>
#endif

namespace avireader {
namespace {

bool seekTo(std::FILE* file, uint64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

int64_t position(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

std::FILE* openForReading(const std::string& path) {
#ifdef _WIN32
    const std::filesystem::path native(std::u8string(path.begin(), path.end()));
    return _wfopen(native.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace

FileSource::FileSource(const std::string& path) : m_file(openForReading(path)) {
    if (m_file == nullptr) return;
    if (seekTo(m_file, 0, SEEK_END)) {
        const int64_t end = position(m_file);
        if (end > 0) m_size = uint64_t(end);
    }
}

FileSource::~FileSource() {
    if (m_file != nullptr) std::fclose(m_file);
}

size_t FileSource::read(uint64_t offset, void* dst, size_t count) {
    if (m_file == nullptr || count == 0 || offset >= m_size) return 0;
    // Offsets come from the file itself; anything beyond what fits a signed position is past the
    // end.
    if (offset > uint64_t(INT64_MAX)) return 0;
    if (!seekTo(m_file, offset, SEEK_SET)) return 0;
    return std::fread(dst, 1, count, m_file);
}

}  // namespace avireader
