#include "platform/iohost/media/raw_video_reader.h"

#include "platform/iohost/files/input_error.h"

namespace iohost {

RawVideoReader::RawVideoReader(const std::string& path, const PictureFormat& format)
    : RawVideoReader(std::make_unique<InputFile>(path), format) {}

RawVideoReader::RawVideoReader(std::unique_ptr<InputFile> file, const PictureFormat& format)
    : m_file(std::move(file)), m_format(format) {}

bool RawVideoReader::readInPieces(uint8_t* frame, const PieceArrived& arrived) {
    const uint64_t bytes = m_format.frameBytes();
    const size_t got = ReadFrameInPieces(*m_file, frame, static_cast<size_t>(bytes), arrived);
    if (got == 0) return false;
    if (got != bytes)
        throw InputError(m_file->name() + ": frame " + std::to_string(m_frames) +
                         " is truncated: " + std::to_string(got) + " of " + std::to_string(bytes) +
                         " bytes");
    if (!m_acceptAboveDepth) CheckDepth(m_file->name(), m_frames, m_format, frame);
    ++m_frames;
    return true;
}

std::optional<uint64_t> RawVideoReader::frameCount() const {
    if (!m_file->size()) return std::nullopt;
    return *m_file->size() / m_format.frameBytes();
}

}  // namespace iohost
