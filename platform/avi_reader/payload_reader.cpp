#include "platform/avi_reader/payload_reader.h"

#include <algorithm>
#include <iterator>

namespace avireader {

bool PayloadReader::read(const DataChunk& chunk, std::vector<uint8_t>& out) {
    const uint64_t size = m_source.size();
    const uint64_t available = chunk.offset < size ? size - chunk.offset : 0;
    // Never allocate more than the file can deliver, whatever the chunk header claims.
    out.resize(size_t(std::min<uint64_t>(chunk.size, available)));
    out.resize(m_source.read(chunk.offset, out.data(), out.size()));
    return out.size() == chunk.size;
}

bool readPayload(const std::string& path, const DataChunk& chunk, std::vector<uint8_t>& out) {
    PayloadReader reader(path);
    if (!reader.isOpen()) {
        out.clear();
        return false;
    }
    return reader.read(chunk, out);
}

std::vector<DataChunk> chunksOfStream(const AviFile& file, int stream) {
    std::vector<DataChunk> chunks;
    std::copy_if(file.chunks.begin(), file.chunks.end(), std::back_inserter(chunks),
                 [stream](const DataChunk& c) { return c.stream == stream; });
    return chunks;
}

}  // namespace avireader
