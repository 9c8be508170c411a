// Writes an AVI file with OpenDML extensions in one forward pass: the header lists first (with
// space reserved for each stream's super index), then data chunks as they come, rolling over from
// the first RIFF "AVI " segment (below 1 GiB, with an "idx1" index) to RIFF "AVIX" segments (below
// 2 GiB), each segment ending with a standard index per stream that had chunks in it; finalize()
// closes the last segment and patches the headers and super indexes in place.
//
// Order of use: construct over a file, addStream for each stream and describe it (mainHeader,
// a stream's header and format, or setAudioFormat), writeHeader with the file open for writing at
// the position where the RIFF is to start, writeChunk any number of times, finalize. The writer
// borrows the file. Misuse throws std::logic_error, a bad stream index std::out_of_range, file
// failures the fileio exceptions; after a failed writeChunk the caller may go on, and the bytes
// already written stay valid. The destructor finalizes and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "avi/avi_headers.h"
#include "avi/avi_index.h"
#include "avi/avi_stream.h"
#include "avi/little_endian_buffer.h"
#include "avi/riff_writer.h"
#include "fileio/file.h"

class AviWriter {
public:
    static constexpr size_t kMaxStreams = 100;

    explicit AviWriter(fileio::File& file);
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;
    ~AviWriter();

    // Returns the new stream's index. Refused (std::logic_error) past kMaxStreams streams and once
    // the header has been written.
    size_t addStream(uint32_t fccType);
    // Throws std::out_of_range "invalid vector subscript" for an index beyond the list.
    [[nodiscard]] AviStream& stream(size_t index);

    void writeHeader();
    // Refuses (std::logic_error, nothing written) a chunk that would take the file past maxFileSize
    // or a stream's super index past its reserved space, and a null payload of non-zero size as a
    // write of nothing (fileio::WriteError). A bad stream index is found after a due rollover.
    void writeChunk(size_t streamIndex, const void* data, uint64_t size, uint32_t duration,
                    bool keyFrame);
    // Attempts every patch even after a failure, then throws fileio::Error once if anything failed.
    // A second call does nothing.
    void finalize();

    // Entries the reserved "indx" space of each stream holds.
    [[nodiscard]] uint64_t superIndexCapacity() const;

    fileio::File& file;
    RiffWriter riff;
    uint64_t riffStart = 0;  // position of the current segment's RIFF header
    uint64_t moviStart = 0;  // position of the current segment's LIST "movi" header
    int64_t avihPos = -1;
    int64_t dmlhPos = -1;
    bool firstRiff = true;
    bool headerWritten = false;
    AviMainHeader mainHeader;
    OdmlHeader odmlHeader;
    std::vector<std::unique_ptr<AviStream>> streams;
    std::vector<OldIndexEntry> oldIndex;         // first segment only
    const uint64_t maxFileSize = 0x80000000000;  // 8 TiB
    const uint64_t firstRiffLimit = 0x3FFFFFFE;  // whole RIFF "AVI " chunk, header included
    const uint64_t avixLimit = 0x7FFFFFFE;       // each RIFF "AVIX" chunk, header included

private:
    // Writes one chunk of exactly the given bytes; returns the payload position.
    int64_t writeWholeChunk(uint32_t id, const uint8_t* data, size_t size);
    void writeExact(const void* data, size_t size);
    // Ends the current segment: standard indexes and "movi", then "idx1" (first segment) and the
    // RIFF. With swallowErrors each phase's failure is noted and the next phase still runs;
    // otherwise the first failure is passed on. Returns whether anything was noted.
    [[nodiscard]] bool closeSegment(bool swallowErrors);
    void closeMovi();
    void closeRiff();
    [[nodiscard]] uint32_t videoFrames() const;
    // Bytes closing the current segment would still add, counting one more chunk's index entries.
    [[nodiscard]] uint64_t closingBytes() const;
    // Overwrites bytes at pos (nothing when pos < 0); false when the patch failed.
    [[nodiscard]] bool patch(int64_t pos, const uint8_t* data, size_t size);

    LittleEndianBuffer scratch;
};
