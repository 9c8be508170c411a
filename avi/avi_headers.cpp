#include "avi/avi_headers.h"

void AviMainHeader::serialize(LittleEndianBuffer& out) const {
    out.put32(dwMicroSecPerFrame);
    out.put32(dwMaxBytesPerSec);
    out.put32(dwPaddingGranularity);
    out.put32(dwFlags);
    out.put32(dwTotalFrames);
    out.put32(dwInitialFrames);
    out.put32(dwStreams);
    out.put32(dwSuggestedBufferSize);
    out.put32(dwWidth);
    out.put32(dwHeight);
    for (const uint32_t r : dwReserved) {
        out.put32(r);
    }
}

void AviStreamHeader::serialize(LittleEndianBuffer& out) const {
    out.putFourCC(fccType);
    out.putFourCC(fccHandler);
    out.put32(dwFlags);
    out.put16(wPriority);
    out.put16(wLanguage);
    out.put32(dwInitialFrames);
    out.put32(dwScale);
    out.put32(dwRate);
    out.put32(dwStart);
    out.put32(dwLength);
    out.put32(dwSuggestedBufferSize);
    out.put32(dwQuality);
    out.put32(dwSampleSize);
    out.put16(static_cast<uint16_t>(rcFrame.left));
    out.put16(static_cast<uint16_t>(rcFrame.top));
    out.put16(static_cast<uint16_t>(rcFrame.right));
    out.put16(static_cast<uint16_t>(rcFrame.bottom));
}

void OdmlHeader::serialize(LittleEndianBuffer& out) const {
    out.put32(dwTotalFrames);
    out.putZeros(kSize - 4);
}
