// The sixteen video codecs the plug-in offers, one per raw pixel format. Everything that tells
// one codec from another lives in a FormatDesc row: the name the host shows, the raw picture it
// accepts, the codec library's codes for the raw input and the compressed stream, what goes into
// the AVI file, and the codec's id. Registration publishes the rows, each encoder keeps a copy of
// its own, and the container looks rows up by four-character code.
//
// The table is read-only once built; any thread may read it without a lock.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct FormatDesc {
    uint32_t compressedFormat;  // codec library code of the compressed stream
    // First character in the most significant byte: "P8RG" is 0x50385247; whoever writes it to a
    // file byte-swaps it so that the file reads "P8RG".
    uint32_t fourcc;
    uint16_t bitCount;   // bits per pixel in the AVI video format header
    uint32_t rawFormat;  // codec library code of the raw input frames
    uint32_t colorModel;
    std::vector<uint8_t> dataRanges;  // host data range codes accepted, in publishing order
    uint8_t hSubsampling;
    uint8_t vSubsampling;
    uint32_t bitDepth;
    uint32_t sampleBits;
    std::string name;
    std::array<uint8_t, 16> uuid;  // constant of the product: never changes once published

    bool operator==(const FormatDesc&) const = default;
};

// "P8RG" -> 0x50385247.
constexpr uint32_t FourccFromText(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

// The sixteen rows in table order.
[[nodiscard]] std::vector<FormatDesc> BuildFormatTable();

// The module's table: built during module start-up (after the diagnostics log), before the host
// can call pluginInit, and destroyed at unload.
extern const std::vector<FormatDesc> s_Formats;

// The first row of `table` with these 16 id bytes / this fourcc, or null.
[[nodiscard]] const FormatDesc* FindFormatByUuid(const std::vector<FormatDesc>& table,
                                                 const uint8_t* uuid);
[[nodiscard]] const FormatDesc* FindFormatByFourcc(const std::vector<FormatDesc>& table,
                                                   uint32_t fourcc);

// The same lookups in the module's table.
[[nodiscard]] inline const FormatDesc* FindFormatByUuid(const uint8_t* uuid) {
    return FindFormatByUuid(s_Formats, uuid);
}
[[nodiscard]] inline const FormatDesc* FindFormatByFourcc(uint32_t fourcc) {
    return FindFormatByFourcc(s_Formats, fourcc);
}
