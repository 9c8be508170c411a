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

AviMainHeader AviMainHeader::parse(LittleEndianReader& in) {
    AviMainHeader h;
    h.dwMicroSecPerFrame = in.get32();
    h.dwMaxBytesPerSec = in.get32();
    h.dwPaddingGranularity = in.get32();
    h.dwFlags = in.get32();
    h.dwTotalFrames = in.get32();
    h.dwInitialFrames = in.get32();
    h.dwStreams = in.get32();
    h.dwSuggestedBufferSize = in.get32();
    h.dwWidth = in.get32();
    h.dwHeight = in.get32();
    for (uint32_t& r : h.dwReserved) {
        r = in.get32();
    }
    return h;
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

AviStreamHeader AviStreamHeader::parse(LittleEndianReader& in) {
    AviStreamHeader h;
    h.fccType = in.get32();
    h.fccHandler = in.get32();
    h.dwFlags = in.get32();
    h.wPriority = in.get16();
    h.wLanguage = in.get16();
    h.dwInitialFrames = in.get32();
    h.dwScale = in.get32();
    h.dwRate = in.get32();
    h.dwStart = in.get32();
    h.dwLength = in.get32();
    h.dwSuggestedBufferSize = in.get32();
    h.dwQuality = in.get32();
    h.dwSampleSize = in.get32();
    h.rcFrame.left = static_cast<int16_t>(in.get16());
    h.rcFrame.top = static_cast<int16_t>(in.get16());
    h.rcFrame.right = static_cast<int16_t>(in.get16());
    h.rcFrame.bottom = static_cast<int16_t>(in.get16());
    return h;
}

void OdmlHeader::serialize(LittleEndianBuffer& out) const {
    out.put32(dwTotalFrames);
    out.putZeros(kSize - 4);
}
