// RIFF chunk framing: exact sizes, patched sizes, pads counted in the parent, failure labels.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "avi/chunk_scope.h"
#include "avi/four_cc.h"
#include "avi/riff_writer.h"
#include "fileio/errors.h"
#include "tests/avi/avi_parse.h"
#include "tests/fileio/test_file.h"

namespace {

const std::vector<uint8_t> kPayload(56, 0xAB);

TEST(RiffWriter, ExactSizeNeedsNoPatch) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("avih"), 56, false, 0);
    ASSERT_EQ(riff.write(kPayload.data(), 56), 56U);
    const ChunkInfo info = riff.closeChunk();
    EXPECT_EQ(f.writeAts, 0);
    EXPECT_EQ(f.writes, 2);
    EXPECT_EQ(info.id, fourCC("avih"));
    EXPECT_EQ(info.size, 56U);
    EXPECT_EQ(info.offset, 0U);
    std::vector<uint8_t> expected = {'a', 'v', 'i', 'h', 56, 0, 0, 0};
    expected.insert(expected.end(), kPayload.begin(), kPayload.end());
    EXPECT_TRUE(sameBytes(expected, f.all()));
}

TEST(RiffWriter, ListSizeCountsTheChildPadInTheParent) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("LIST"), 4, true, fourCC("strl"));
    riff.openChunk(fourCC("strh"), 56, false, 0);
    ASSERT_EQ(riff.write(kPayload.data(), 56), 56U);
    riff.closeChunk();
    riff.openChunk(fourCC("strf"), 5, false, 0);
    ASSERT_EQ(riff.write(kPayload.data(), 5), 5U);
    const ChunkInfo child = riff.closeChunk();
    const ChunkInfo list = riff.closeChunk();
    EXPECT_EQ(child.size, 5U);
    EXPECT_EQ(list.size, 82U);
    EXPECT_EQ(list.listType, fourCC("strl"));
    const std::vector<uint8_t> bytes = f.all();
    ASSERT_EQ(bytes.size(), 90U);
    EXPECT_EQ(le32(bytes, 4), 82U);
    EXPECT_EQ(le32(bytes, 12 + 64 + 4), 5U);
    EXPECT_EQ(bytes[89], 0);   // pad
    EXPECT_EQ(f.writeAts, 1);  // only the list needed its size patched
}

TEST(RiffWriter, OutermostOddChunkIsStillPadded) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("junk"), 0, false, 0);
    ASSERT_EQ(riff.write("abc", 3), 3U);
    EXPECT_EQ(riff.closeChunk().size, 3U);
    EXPECT_TRUE(
        sameBytes(std::vector<uint8_t>{'j', 'u', 'n', 'k', 3, 0, 0, 0, 'a', 'b', 'c', 0}, f.all()));
}

TEST(RiffWriter, ClosingWithNothingOpenWritesNothing) {
    TestFile f;
    RiffWriter riff(f);
    const ChunkInfo info = riff.closeChunk();
    EXPECT_EQ(info.id | info.size | info.listType, 0U);
    EXPECT_EQ(info.offset, 0U);
    EXPECT_EQ(f.writes + f.writeAts + f.tells, 0);
}

TEST(RiffWriter, FailedCloseNamesTheChunkAndPopsIt) {
    const struct {
        uint32_t id;
        bool isList;
        uint32_t listType;
        const char* label;
    } rows[] = {
        {fourCC("00dc"), false, 0, "00dc"},
        {fourCC("LIST"), true, fourCC("movi"), "movi"},
        {fourCC("RIFF"), true, fourCC("AVI "), "AVI "},
        {fourCC('a', 0x80, 'c', 'd'), false, 0, "a[128]cd"},
        {fourCC(1, 'a', 'b', 'c'), false, 0, "[1]abc"},
        {fourCC(255, 255, 255, 255), false, 0, "[255][255][255][255]"},
        {fourCC("LIST"), true, fourCC('o', 'd', 'm', 0x7F), "odm[127]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        TestFile f;
        RiffWriter riff(f);
        riff.openChunk(fourCC("RIFF"), 4, true, fourCC("AVI "));
        riff.openChunk(row.id, 0, row.isList, row.listType);
        ASSERT_EQ(riff.write("xy", 2), 2U);
        f.failWriteAt = [](int, int64_t) { return true; };
        try {
            riff.closeChunk();
            ADD_FAILURE() << "close did not fail";
        } catch (const fileio::Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Failed to close riff chunk: ") + row.label);
        }
        ASSERT_EQ(riff.depth(), 1U);
        EXPECT_EQ(riff.current()->listType, fourCC("AVI "));
    }
}

TEST(RiffWriter, FailedPadByteFailsTheClose) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("01wb"), 3, false, 0);
    ASSERT_EQ(riff.write("xyz", 3), 3U);
    f.limitWrite = [](int, size_t) { return std::optional<size_t>(0); };
    EXPECT_THROW(
        {
            try {
                riff.closeChunk();
            } catch (const fileio::Error& e) {
                EXPECT_STREQ(e.what(), "Failed to close riff chunk: 01wb");
                throw;
            }
        },
        fileio::Error);
    EXPECT_EQ(f.writeAts, 0);
    EXPECT_EQ(riff.depth(), 0U);
}

TEST(RiffWriter, ShortHeaderThrowsAndLeavesTheStack) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("RIFF"), 4, true, fourCC("AVI "));
    f.limitWrite = [](int, size_t) { return std::optional<size_t>(5); };
    try {
        riff.openChunk(fourCC("LIST"), 4, true, fourCC("hdrl"));
        ADD_FAILURE() << "open did not fail";
    } catch (const fileio::WriteError& e) {
        EXPECT_STREQ(e.what(), "Write error: size: 12, written: 5");
    }
    EXPECT_EQ(riff.depth(), 1U);
    EXPECT_EQ(riff.current()->written, 12U);  // the stray bytes belong to no chunk
}

TEST(RiffWriter, ScopesAndDestructorCloseWhatIsOpen) {
    TestFile f;
    {
        RiffWriter riff(f);
        riff.openChunk(fourCC("RIFF"), 4, true, fourCC("AVI "));
        try {
            ChunkScope list(riff.openChunk(fourCC("LIST"), 4, true, fourCC("movi")));
            ASSERT_EQ(riff.write("12345", 5), 5U);
            throw std::runtime_error("unwind");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(riff.depth(), 1U);
        {
            // A failing close during unwinding is swallowed by the scope.
            f.failWriteAt = [](int, int64_t) { return true; };
            ChunkScope odd(riff.openChunk(fourCC("junk"), 0, false, 0));
            ASSERT_EQ(riff.write("1", 1), 1U);
        }
        f.failWriteAt = nullptr;
    }
    const std::vector<uint8_t> bytes = f.all();
    ASSERT_EQ(bytes.size(), 12U + 18U + 10U);
    EXPECT_EQ(le32(bytes, 4), 32U);  // everything after the RIFF size field, pads included
    EXPECT_EQ(le32(bytes, 16), 9U);  // movi list: type and 5 bytes
    EXPECT_EQ(le32(bytes, 34), 0U);  // the junk chunk's failed patch left the opening size
}

}  // namespace
