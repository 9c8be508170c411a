// The sixteen rows as the product publishes them, and the two lookups.
#include "plugin/encoder/format_table.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct ExpectedRow {
    const char* name;
    uint32_t compressedFormat;
    const char* fourcc;
    uint16_t bitCount;
    uint32_t rawFormat;
    uint32_t colorModel;
    std::vector<uint8_t> dataRanges;
    uint8_t hSubsampling;
    uint8_t vSubsampling;
    uint32_t bitDepth;
    uint32_t sampleBits;
};

const std::vector<ExpectedRow>& Expected() {
    static const std::vector<ExpectedRow> rows = {
        {"8-bit RGB", 101, "P8RG", 24, 22, 1, {1}, 1, 1, 8, 8},
        {"8-bit RGBA", 102, "P8RA", 32, 20, 3, {1}, 1, 1, 8, 8},
        {"8-bit YUV 444", 103, "P8Y4", 24, 29, 7, {0, 1}, 1, 1, 8, 8},
        {"8-bit YUV 422", 104, "P8Y2", 16, 5, 8, {0, 1}, 2, 1, 8, 8},
        {"8-bit YUV 420", 105, "P8Y0", 12, 10, 7, {0, 1}, 2, 2, 8, 8},
        {"8-bit Y Only", 107, "P8G0", 8, 10, 7, {0, 1}, 2, 2, 8, 8},
        {"10-bit RGB", 109, "P0RG", 30, 28, 1, {1}, 1, 1, 16, 16},
        {"10-bit RGBA", 110, "P0RA", 40, 26, 3, {1}, 1, 1, 16, 16},
        {"10-bit YUV 444", 118, "P0Y4", 30, 51, 7, {0, 1}, 1, 1, 16, 16},
        {"10-bit YUV 422", 108, "P0Y2", 20, 59, 7, {0, 1}, 2, 1, 16, 16},
        {"10-bit YUV 420", 123, "P0Y0", 15, 59, 7, {0, 1}, 2, 1, 16, 16},
        {"10-bit Y Only", 115, "P0G0", 10, 59, 7, {0, 1}, 2, 1, 16, 16},
        {"12-bit RGB", 111, "P2RG", 36, 28, 1, {1}, 1, 1, 16, 16},
        {"12-bit RGBA", 112, "P2RA", 48, 26, 3, {1}, 1, 1, 16, 16},
        {"14-bit RGB", 113, "P4RG", 42, 28, 1, {1}, 1, 1, 16, 16},
        {"14-bit RGBA", 114, "P4RA", 56, 26, 3, {1}, 1, 1, 16, 16},
    };
    return rows;
}

// Independent of FourccFromText: the characters from the most significant byte down.
uint32_t PackFourcc(const char* text) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(text[i]);
    return value;
}

TEST(FormatTable, HoldsTheSixteenRowsInOrder) {
    const std::vector<FormatDesc> table = BuildFormatTable();
    ASSERT_EQ(table.size(), Expected().size());
    for (size_t i = 0; i < table.size(); ++i) {
        const FormatDesc& row = table[i];
        const ExpectedRow& want = Expected()[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(row.name, want.name);
        EXPECT_EQ(row.compressedFormat, want.compressedFormat);
        EXPECT_EQ(row.fourcc, PackFourcc(want.fourcc));
        EXPECT_EQ(row.bitCount, want.bitCount);
        EXPECT_EQ(row.rawFormat, want.rawFormat);
        EXPECT_EQ(row.colorModel, want.colorModel);
        EXPECT_EQ(row.dataRanges, want.dataRanges);
        EXPECT_EQ(row.hSubsampling, want.hSubsampling);
        EXPECT_EQ(row.vSubsampling, want.vSubsampling);
        EXPECT_EQ(row.bitDepth, want.bitDepth);
        EXPECT_EQ(row.sampleBits, want.sampleBits);
    }
}

TEST(FormatTable, IdsAreDistinctAndFixed) {
    const std::vector<FormatDesc> table = BuildFormatTable();
    std::set<std::array<uint8_t, 16>> ids;
    for (const FormatDesc& row : table) ids.insert(row.uuid);
    EXPECT_EQ(ids.size(), table.size());
    // Two builds give the same ids: they are constants, not generated.
    EXPECT_EQ(BuildFormatTable(), table);
    // No id is all zeros (an uninitialised row would be).
    EXPECT_EQ(ids.count(std::array<uint8_t, 16>{}), 0u);
}

TEST(FormatTable, FourccOfEightBitRgbReadsP8RgInAFile) {
    EXPECT_EQ(FourccFromText("P8RG"), 0x50385247u);
    const std::vector<FormatDesc> table = BuildFormatTable();
    const FormatDesc& row = table.front();
    ASSERT_EQ(row.fourcc, 0x50385247u);
    // Byte-swapped into file order, the four bytes spell the code.
    const uint32_t value = row.fourcc;
    const char file[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                          static_cast<char>(value >> 8), static_cast<char>(value)};
    EXPECT_EQ(std::string(file, 4), "P8RG");
}

TEST(FormatTable, FindsRowsByUuid) {
    const std::vector<FormatDesc> table = BuildFormatTable();
    for (const FormatDesc& row : table) {
        const FormatDesc* found = FindFormatByUuid(table, row.uuid.data());
        ASSERT_NE(found, nullptr) << row.name;
        EXPECT_EQ(found, &row);
    }
    std::array<uint8_t, 16> unknown = table[3].uuid;
    unknown[15] ^= 0x01;  // differs in the last byte only
    EXPECT_EQ(FindFormatByUuid(table, unknown.data()), nullptr);
    EXPECT_EQ(FindFormatByUuid(table, nullptr), nullptr);
}

TEST(FormatTable, FindsRowsByFourcc) {
    const std::vector<FormatDesc> table = BuildFormatTable();
    const FormatDesc* rgba10 = FindFormatByFourcc(table, PackFourcc("P0RA"));
    ASSERT_NE(rgba10, nullptr);
    EXPECT_EQ(rgba10->name, "10-bit RGBA");
    EXPECT_EQ(rgba10->bitCount, 40);
    EXPECT_EQ(FindFormatByFourcc(table, PackFourcc("P0G0"))->name, "10-bit Y Only");
    EXPECT_EQ(FindFormatByFourcc(table, PackFourcc("GR8P")), nullptr);  // file order, not ours
    EXPECT_EQ(FindFormatByFourcc(table, 0), nullptr);
}

}  // namespace
