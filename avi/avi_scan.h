// Reads back a file that AviWriter wrote, finished or not, from its chunk headers alone: the header
// list as the writer lays it out (which proves the file is the writer's), then chunk to chunk
// through every segment, seeking over payloads. A file whose writer never reached finalize() ends
// with a tail that the scan describes piece by piece: index chunks the writer had begun, a segment
// header, a chunk cut short. Everything up to the last complete data chunk is kept by a repair;
// everything after it is written again by the writer's own finalisation (see avi_repair.h).
//
// Cost grows with the number of chunks, not with the bytes: one 8-byte read per chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi/avi_headers.h"
#include "fileio/file.h"

// A data chunk whose payload lies whole in the file.
struct ScannedChunk {
    uint64_t pos = 0;  // position of its header
    uint32_t size = 0;
    uint32_t stream = 0;
};

// A standard index chunk ("ix##") that closes a segment.
struct ScannedIndex {
    uint64_t pos = 0;  // position of its header
    uint32_t stream = 0;
};

struct ScannedSegment {
    uint64_t riffStart = 0;
    uint64_t moviStart = 0;
    std::vector<ScannedChunk> chunks;
    std::vector<ScannedIndex> indexes;  // filled for the segments a later one follows
};

struct ScannedStream {
    AviStreamHeader header;  // as stored
    std::vector<uint8_t> format;
    int64_t strhPos = -1;
    int64_t indxPos = -1;
    uint64_t indxSize = 0;
};

// A structure found after the last complete data chunk.
struct TailPiece {
    enum class Kind { ChunkHeader, DataChunk, StandardIndex, OldIndex, SegmentHeader };
    Kind kind = Kind::ChunkHeader;
    uint64_t pos = 0;
    uint64_t have = 0;  // bytes of it in the file
    uint64_t need = 0;  // bytes of the whole structure
    uint32_t id = 0;    // chunk id, 0 for a segment header

    [[nodiscard]] bool torn() const { return have < need; }
};

struct AviScan {
    enum class Verdict {
        Ours,           // written by AviWriter; segments, dataEnd and tail are valid
        NotOurs,        // not laid out as AviWriter lays out its header
        HeaderDamaged,  // the file ends before the header list and the "movi" list header
        Broken,         // the writer's header, but chunks no crash of the writer leaves behind
    };
    Verdict verdict = Verdict::NotOurs;
    std::string reason;  // for every verdict but Ours

    uint64_t fileSize = 0;
    uint64_t bytesRead = 0;
    AviMainHeader mainHeader;  // as stored
    int64_t avihPos = -1;
    int64_t dmlhPos = -1;
    std::vector<ScannedStream> streams;
    // The segments holding complete chunks; always at least the first.
    std::vector<ScannedSegment> segments;
    uint64_t dataEnd = 0;         // end of the last complete chunk, pad byte included
    bool padMissing = false;      // the file ends just before that pad byte
    std::vector<TailPiece> tail;  // what lies from dataEnd to the end of the file, in file order

    [[nodiscard]] bool torn() const { return !tail.empty() && tail.back().torn(); }
    [[nodiscard]] std::vector<uint64_t> chunksPerStream() const;
};

// Reads through the file's seek and read only; the position afterwards is unspecified.
[[nodiscard]] AviScan scanAvi(fileio::File& file);
