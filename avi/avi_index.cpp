#include "avi/avi_index.h"

void StdIndexHeader::serialize(LittleEndianBuffer& out) const {
    out.put16(wLongsPerEntry);
    out.put8(bIndexSubType);
    out.put8(bIndexType);
    out.put32(nEntriesInUse);
    out.putFourCC(dwChunkId);
    out.put64(qwBaseOffset);
    out.put32(dwReserved3);
}

void StandardIndex::serialize(LittleEndianBuffer& out) const {
    out.reserve(out.size() + byteSize());
    header.serialize(out);
    for (const StdIndexEntry& e : entries) {
        out.put32(e.dwOffset);
        out.put32(e.dwSize);
    }
}

void SuperIndexHeader::serialize(LittleEndianBuffer& out) const {
    out.put16(wLongsPerEntry);
    out.put8(bIndexSubType);
    out.put8(bIndexType);
    out.put32(nEntriesInUse);
    out.putFourCC(dwChunkId);
    out.putZeros(12);
}

void SuperIndexEntry::serialize(LittleEndianBuffer& out) const {
    out.put64(qwOffset);
    out.put32(dwSize);
    out.put32(dwDuration);
}

void OldIndexEntry::serialize(LittleEndianBuffer& out) const {
    out.putFourCC(dwChunkId);
    out.put32(dwFlags);
    out.put32(dwOffset);
    out.put32(dwSize);
}
