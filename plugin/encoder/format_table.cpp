#include "plugin/encoder/format_table.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Host colour models as the rows use them.
constexpr uint32_t kColorRgb = 1;
constexpr uint32_t kColorRgba = 3;
constexpr uint32_t kColorYuv = 7;
constexpr uint32_t kColorYuv422Packed = 8;

// Codec library raw input codes.
constexpr uint32_t kRawRgb24 = 22;
constexpr uint32_t kRawRgba32 = 20;
constexpr uint32_t kRawYuv444P8 = 29;
constexpr uint32_t kRawUyvy = 5;
constexpr uint32_t kRawYuv420P8 = 10;
constexpr uint32_t kRawRgb48 = 28;
constexpr uint32_t kRawRgba64 = 26;
constexpr uint32_t kRawYuv444P16 = 51;
constexpr uint32_t kRawYuv422P16 = 59;

constexpr uint8_t HexDigit(char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
}

// "1e1efe1f-75b9-2b4a-7766-e823cff5252d": the sixteen bytes in the order they are written.
constexpr std::array<uint8_t, 16> Uuid(const char (&text)[37]) {
    std::array<uint8_t, 16> bytes{};
    size_t n = 0;
    for (size_t i = 0; i + 1 < 36; ++i) {
        if (text[i] == '-') continue;
        bytes[n++] = static_cast<uint8_t>(HexDigit(text[i]) << 4 | HexDigit(text[i + 1]));
        ++i;
    }
    return bytes;
}

}  // namespace

std::vector<FormatDesc> BuildFormatTable() {
    // Data ranges: RGB rows accept only host range 1, YUV and Y rows both 0 and 1, in that order.
    // Ids and uuids are published to hosts and stored in their projects: never change one.
    // clang-format off
    // {id, fourcc, bits per pixel, raw input, colour model, data ranges, horizontal and vertical
    //  subsampling, bit depth, sample bits, name, uuid}
    return {
        {101, FourccFromText("P8RG"), 24, kRawRgb24,     kColorRgb,          {1},    1, 1, 8,  8,  "8-bit RGB",      Uuid("1e1efe1f-75b9-2b4a-7766-e823cff5252d")},
        {102, FourccFromText("P8RA"), 32, kRawRgba32,    kColorRgba,         {1},    1, 1, 8,  8,  "8-bit RGBA",     Uuid("ce203146-d9bc-375a-d298-f73ca158a909")},
        {103, FourccFromText("P8Y4"), 24, kRawYuv444P8,  kColorYuv,          {0, 1}, 1, 1, 8,  8,  "8-bit YUV 444",  Uuid("c5694814-92ab-afea-d69d-e3debec89103")},
        {104, FourccFromText("P8Y2"), 16, kRawUyvy,      kColorYuv422Packed, {0, 1}, 2, 1, 8,  8,  "8-bit YUV 422",  Uuid("5589810f-4bb6-26d0-9295-020669f87d73")},
        {105, FourccFromText("P8Y0"), 12, kRawYuv420P8,  kColorYuv,          {0, 1}, 2, 2, 8,  8,  "8-bit YUV 420",  Uuid("97e23cdf-9e63-fe2c-338f-f6b3dbc80436")},
        {107, FourccFromText("P8G0"), 8,  kRawYuv420P8,  kColorYuv,          {0, 1}, 2, 2, 8,  8,  "8-bit Y Only",   Uuid("a07371ed-83ad-f245-8c18-301470ec2d7d")},
        {109, FourccFromText("P0RG"), 30, kRawRgb48,     kColorRgb,          {1},    1, 1, 16, 16, "10-bit RGB",     Uuid("7425e1f6-5f3c-bed9-fbe8-432fc8a07391")},
        {110, FourccFromText("P0RA"), 40, kRawRgba64,    kColorRgba,         {1},    1, 1, 16, 16, "10-bit RGBA",    Uuid("edd1aab9-304c-0707-2a99-f95176d3272d")},
        {118, FourccFromText("P0Y4"), 30, kRawYuv444P16, kColorYuv,          {0, 1}, 1, 1, 16, 16, "10-bit YUV 444", Uuid("77f409ec-e562-3df7-0a3b-6e9b064222ae")},
        {108, FourccFromText("P0Y2"), 20, kRawYuv422P16, kColorYuv,          {0, 1}, 2, 1, 16, 16, "10-bit YUV 422", Uuid("f56d3c67-55bd-02aa-e205-456551a75de6")},
        {123, FourccFromText("P0Y0"), 15, kRawYuv422P16, kColorYuv,          {0, 1}, 2, 1, 16, 16, "10-bit YUV 420", Uuid("f0db9123-c863-36e5-eff8-58b7aefae05b")},
        {115, FourccFromText("P0G0"), 10, kRawYuv422P16, kColorYuv,          {0, 1}, 2, 1, 16, 16, "10-bit Y Only",  Uuid("84c26615-ace8-0601-ceb9-357c62a55d80")},
        {111, FourccFromText("P2RG"), 36, kRawRgb48,     kColorRgb,          {1},    1, 1, 16, 16, "12-bit RGB",     Uuid("a9b83a9d-e3fa-cf33-15ce-97013200c43c")},
        {112, FourccFromText("P2RA"), 48, kRawRgba64,    kColorRgba,         {1},    1, 1, 16, 16, "12-bit RGBA",    Uuid("344b66a9-fd46-c0e5-3d30-11242e30a705")},
        {113, FourccFromText("P4RG"), 42, kRawRgb48,     kColorRgb,          {1},    1, 1, 16, 16, "14-bit RGB",     Uuid("8b810a46-3df0-dce3-d0a9-e89380e07414")},
        {114, FourccFromText("P4RA"), 56, kRawRgba64,    kColorRgba,         {1},    1, 1, 16, 16, "14-bit RGBA",    Uuid("332ab7c2-c3ac-4e74-dbce-a058e9074514")},
    };
    // clang-format on
}

const FormatDesc* FindFormatByUuid(const std::vector<FormatDesc>& table, const uint8_t* uuid) {
    if (uuid == nullptr) return nullptr;
    auto it = std::find_if(table.begin(), table.end(), [uuid](const FormatDesc& row) {
        return std::memcmp(row.uuid.data(), uuid, row.uuid.size()) == 0;
    });
    return it == table.end() ? nullptr : &*it;
}

const FormatDesc* FindFormatByFourcc(const std::vector<FormatDesc>& table, uint32_t fourcc) {
    auto it = std::find_if(table.begin(), table.end(),
                           [fourcc](const FormatDesc& row) { return row.fourcc == fourcc; });
    return it == table.end() ? nullptr : &*it;
}
