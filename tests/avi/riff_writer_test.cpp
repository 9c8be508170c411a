// RIFF chunk framing: sizes patched only when they changed, pads counted in the parent, and the
// chunk stack kept consistent through every failure.
#include <gtest/gtest.h>

#include <stdexcept>

#include "avi/chunk_scope.h"
#include "avi/riff_writer.h"
#include "fileio/errors.h"
#include "tests/avi/avi_check.h"

namespace {

TEST(RiffWriter, FramesNestedChunksAndPatchesOnlyWhatChanged) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("LIST"), 4, true, fourCC("strl"));
    riff.openChunk(fourCC("strh"), 4, false, 0);  // exact: needs no patch
    ASSERT_EQ(riff.write("abcd", 4), 4U);
    const ChunkInfo exact = riff.closeChunk();
    riff.openChunk(fourCC("strf"), 0, false, 0);
    ASSERT_EQ(riff.write("xyz", 3), 3U);
    const ChunkInfo odd = riff.closeChunk();
    const ChunkInfo list = riff.closeChunk();
    riff.openChunk(fourCC("junk"), 0, false, 0);  // outermost, and still padded
    ASSERT_EQ(riff.write("j", 1), 1U);
    EXPECT_EQ(riff.closeChunk().offset, 36U);
    EXPECT_EQ(f.writeAts, 3);
    EXPECT_TRUE(sameBytes(hex("4c495354 1c000000 7374726c 73747268 04000000 61626364 "
                              "73747266 03000000 78797a00 6a756e6b 01000000 6a00"),
                          f.all()));
    EXPECT_TRUE(exact.offset == 12 && odd.offset == 24 && odd.size == 3 && list.size == 28);
    const int calls = f.writes + f.writeAts + f.tells;
    EXPECT_EQ(riff.closeChunk().id, 0U);  // nothing open: nothing written
    EXPECT_EQ(f.writes + f.writeAts + f.tells, calls);
}

// What a failed close names a chunk by (printable names meet the AVI writer's failure tests).
TEST(RiffWriter, LabelsShowBytesOutsidePrintableAsciiAsNumbers) {
    EXPECT_EQ(RiffWriter::label({fourCC('a', 0x80, 'c', 'd')}), "a[128]cd");
    EXPECT_EQ(RiffWriter::label({fourCC(1, 'a', 'b', '~')}), "[1]ab~");
    EXPECT_EQ(RiffWriter::label({fourCC("LIST"), 0, fourCC(' ', 'd', 'm', 0x7F)}), " dm[127]");
}

TEST(RiffWriter, ShortHeaderThrowsAndLeavesTheStack) {
    TestFile f;
    RiffWriter riff(f);
    riff.openChunk(fourCC("RIFF"), 4, true, fourCC("AVI "));
    f.limitWrite = [](int, size_t) { return std::optional<size_t>(5); };
    EXPECT_THROW(riff.openChunk(fourCC("LIST"), 4, true, fourCC("hdrl")), fileio::WriteError);
    EXPECT_EQ(riff.depth(), 1U);
    EXPECT_EQ(riff.current()->written, 12U);  // the stray bytes belong to no chunk
}

// Scopes close their chunks while an exception unwinds, swallowing failed closes; the destructor
// closes the rest.
TEST(RiffWriter, ScopesAndDestructorCloseWhatIsOpen) {
    TestFile f;
    {
        RiffWriter riff(f);
        riff.openChunk(fourCC("RIFF"), 4, true, fourCC("AVI "));
        try {
            ChunkScope list(riff.openChunk(fourCC("LIST"), 4, true, fourCC("movi")));
            ASSERT_EQ(riff.write("12345", 5), 5U);
            f.failWriteAt = [](int, int64_t) { return true; };
            ChunkScope odd(riff.openChunk(fourCC("junk"), 0, false, 0));
            ASSERT_EQ(riff.write("1", 1), 1U);
            throw std::runtime_error("unwind");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(riff.depth(), 1U);
        f.failWriteAt = nullptr;
    }
    // RIFF patched to all after its size field; movi and junk keep their opening sizes, and pads.
    EXPECT_TRUE(sameBytes(hex("52494646 20000000 41564920 4c495354 04000000 6d6f7669 3132333435 "
                              "6a756e6b 00000000 31 00 00"),
                          f.all()));
}

}  // namespace
