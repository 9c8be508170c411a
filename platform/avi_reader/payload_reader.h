#pragma once
// Reads the payloads of data chunks found by readAvi, keeping the file open between reads so that a
// decoder can walk a long file chunk by chunk.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/avi_reader/avi_file.h"
#include "platform/avi_reader/file_source.h"

namespace avireader {

class PayloadReader {
public:
    explicit PayloadReader(const std::string& path) : m_source(path) {}

    [[nodiscard]] bool isOpen() const { return m_source.isOpen(); }

    // Fills `out` with the chunk's payload; false, with `out` holding what could be read, when the
    // file ends before the payload does.
    [[nodiscard]] bool read(const DataChunk& chunk, std::vector<uint8_t>& out);

private:
    FileSource m_source;
};

// One-off form of PayloadReader::read.
[[nodiscard]] bool readPayload(const std::string& path, const DataChunk& chunk,
                               std::vector<uint8_t>& out);

// The data chunks of one stream, in file order across all segments.
[[nodiscard]] std::vector<DataChunk> chunksOfStream(const AviFile& file, int stream);

}  // namespace avireader
