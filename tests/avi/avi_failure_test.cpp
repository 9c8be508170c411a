// Failure paths with a file that fails chosen calls: the stated exception and message for each
// failure, finalize attempting every patch and reporting once, and the bytes of every chunk written
// before a failure left intact.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "fileio/errors.h"
#include "tests/avi/avi_parse.h"
#include "tests/fileio/huge_buffer.h"
#include "tests/fileio/test_file.h"

namespace {

// Header, five rounds of a large (dropped) and a small video chunk and an odd audio chunk, then
// finalize. The large chunks make the fifth round roll over into an "AVIX" segment.
constexpr size_t kBig = 250000000;
constexpr size_t kHeaderStep = 0;
constexpr size_t kRolloverStep = 1 + 4 * 3;
constexpr size_t kFinalizeStep = 1 + 5 * 3;
constexpr size_t kStepSizes[] = {kBig, 1000, 1001};

const std::string kFinalizeFailed =
    std::to_string(kFinalizeStep) + ": AviWriter::finalize: failed to correctly finalize avi";

struct Outcome {
    std::vector<std::string> errors;                                // "step: what"
    std::vector<std::pair<int64_t, std::vector<uint8_t>>> patches;  // what finalize meant to store
};

class FailureRun {
public:
    using Arm = std::function<void(size_t step, const AviWriter& w)>;

    Outcome run(const Arm& arm = nullptr) {
        Outcome out;
        {
            AviWriter w(file);
            w.stream(w.addStream(fourCC("vids"))).format.assign(40, 2);
            w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 1, 8000, 8, 0);
            for (size_t step = 0; step <= kFinalizeStep; ++step) {
                if (arm) {
                    arm(step, w);
                }
                try {
                    if (step == kHeaderStep) {
                        w.writeHeader();
                    } else if (step == kFinalizeStep) {
                        w.finalize();
                    } else {
                        writeChunk(w, kStepSizes[(step - 1) % 3]);
                    }
                } catch (const fileio::Error& e) {
                    out.errors.push_back(std::to_string(step) + ": " + e.what());
                    if (step == kHeaderStep) {
                        step = kFinalizeStep - 1;  // no chunks without a header
                    }
                }
            }
            file.failSeek = nullptr;
            file.failWriteAt = nullptr;
            file.limitWrite = nullptr;
            EXPECT_EQ(w.riff.depth(), 0U);
            recordPatches(w, out);
        }
        for (const auto& [pos, size] : intact) {
            EXPECT_EQ(le32(file.bytesAt(pos, 8), 4), size) << "chunk at " << pos;
            EXPECT_TRUE(sameBytes(std::span(payload).first(size), file.bytesAt(pos + 8, size)))
                << "chunk at " << pos;
        }
        return out;
    }

    // Every patch but the one at skip holds what finalize meant to store.
    void expectPatched(const Outcome& out, int64_t skip) const {
        for (const auto& [pos, bytes] : out.patches) {
            if (pos >= 0 && pos != skip) {
                EXPECT_TRUE(
                    sameBytes(bytes, file.bytesAt(static_cast<uint64_t>(pos), bytes.size())))
                    << "patch at " << pos;
            }
        }
    }

    TestFile file{65576};

private:
    void writeChunk(AviWriter& w, size_t size) {
        const bool video = size != 1001;
        const size_t stream = video ? 0 : 1;
        const uint8_t* data = size == kBig ? hugeBuffer() : payload.data();
        w.writeChunk(stream, data, size, video ? 1 : static_cast<uint32_t>(size), video);
        if (size != kBig) {
            intact.emplace_back(w.stream(stream).pending.back().dataPos - 8, size);
        }
    }

    static void recordPatches(const AviWriter& w, Outcome& out) {
        auto add = [&](int64_t pos, const auto& record) {
            LittleEndianBuffer b;
            record.serialize(b);
            out.patches.emplace_back(pos, std::vector<uint8_t>(b.data(), b.data() + b.size()));
        };
        add(w.avihPos, w.mainHeader);
        add(w.dmlhPos, w.odmlHeader);
        for (const auto& s : w.streams) {
            add(s->strhPos, s->header);
            add(s->indxPos, s->superIndexHeader);
        }
    }

    std::vector<uint8_t> payload = [] {
        std::vector<uint8_t> v(1001);
        std::iota(v.begin(), v.end(), 0);
        return v;
    }();
    std::vector<std::pair<uint64_t, size_t>> intact;  // header position, payload size
};

TEST(AviFailures, NoFaultGivesAConsistentFileOfTwoSegments) {
    FailureRun r;
    const Outcome out = r.run();
    EXPECT_EQ(out.errors, std::vector<std::string>{});
    const ByteReader read = [&](uint64_t o, size_t n) { return r.file.bytesAt(o, n); };
    const std::vector<Node> tree = parseTree(read, r.file.end);
    EXPECT_EQ(checkIndexes(read, tree), std::vector<std::string>{});
    EXPECT_EQ(std::count_if(tree.begin(), tree.end(), [](const Node& n) { return n.depth == 0; }),
              2);
    r.expectPatched(out, -1);
}

// One fault within one step: a write of shortCount bytes transfers half, or the writeAt to the
// offset that patchAt names fails.
struct Fault {
    size_t step;
    size_t shortCount;
    int64_t (*patchAt)(const AviWriter&);
};

TEST(AviFailures, EachFailureGivesItsStatedMessage) {
    const auto moviSize = +[](const AviWriter& w) { return static_cast<int64_t>(w.moviStart + 4); };
    const auto riffSize = +[](const AviWriter& w) { return static_cast<int64_t>(w.riffStart + 4); };
    const std::string rollover = std::to_string(kRolloverStep) + ": ";
    const struct {
        const char* what;
        Fault fault;
        std::string error;
    } rows[] = {
        {"LIST header", {kHeaderStep, 12, nullptr}, "0: Write error: size: 12, written: 6"},
        {"avih", {kHeaderStep, 56, nullptr}, "0: Write error: size: 56, written: 28"},
        {"strf", {kHeaderStep, 40, nullptr}, "0: Write error: size: 40, written: 20"},
        {"indx", {kHeaderStep, 65576, nullptr}, "0: Write error: size: 65576, written: 32788"},
        {"chunk header", {2, 8, nullptr}, "2: Write error: size: 8, written: 4"},
        {"payload", {2, 1000, nullptr}, "2: Write error: size: 1000, written: 500"},
        {"pad byte", {3, 1, nullptr}, "3: Failed to close riff chunk: 01wb"},
        {"ix00 at rollover",
         {kRolloverStep, 88, nullptr},
         rollover + "Write error: size: 88, written: 44"},
        {"idx1 at rollover",
         {kRolloverStep, 192, nullptr},
         rollover + "Write error: size: 192, written: 96"},
        {"movi size at rollover",
         {kRolloverStep, 0, moviSize},
         rollover + "Failed to close riff chunk: movi"},
        {"RIFF size at rollover",
         {kRolloverStep, 0, riffSize},
         rollover + "Failed to close riff chunk: AVI "},
        {"ix00 in finalize", {kFinalizeStep, 40, nullptr}, kFinalizeFailed},
        {"avih patch", {kFinalizeStep, 56, nullptr}, kFinalizeFailed},
        {"AVIX size", {kFinalizeStep, 0, riffSize}, kFinalizeFailed},
        {"avih patch",
         {kFinalizeStep, 0, +[](const AviWriter& w) { return w.avihPos; }},
         kFinalizeFailed},
        {"strh patch",
         {kFinalizeStep, 0, +[](const AviWriter& w) { return w.streams[0]->strhPos; }},
         kFinalizeFailed},
        {"indx patch",
         {kFinalizeStep, 0, +[](const AviWriter& w) { return w.streams[1]->indxPos; }},
         kFinalizeFailed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FailureRun r;
        int64_t failedAt = -1;
        const Fault& fault = row.fault;
        const Outcome out = r.run([&](size_t step, const AviWriter& w) {
            r.file.limitWrite = nullptr;
            r.file.failWriteAt = nullptr;
            if (step != fault.step) {
                return;
            }
            if (fault.patchAt) {
                const int64_t at = fault.patchAt(w);
                r.file.failWriteAt = [&failedAt, at](int, int64_t offset) {
                    failedAt = offset == at ? at : failedAt;
                    return offset == at;
                };
                return;
            }
            r.file.limitWrite = [&r, &failedAt, count = fault.shortCount, seen = false](
                                    int, size_t n) mutable -> std::optional<size_t> {
                if (n != count || seen) {
                    return std::nullopt;
                }
                seen = true;
                failedAt = static_cast<int64_t>(r.file.position);
                return n / 2;
            };
        });
        EXPECT_EQ(out.errors, std::vector<std::string>{row.error});
        if (fault.step == kFinalizeStep) {
            r.expectPatched(out, failedAt);  // every other patch was still made
        }
    }
}

TEST(AviFailures, AnyShortWriteIsReportedOnceAndSparesEarlierChunks) {
    FailureRun probe;
    probe.run();
    for (int n = 1; n <= probe.file.writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n));
        FailureRun r;
        r.file.limitWrite = [n](int number, size_t count) {
            return number == n ? std::optional<size_t>(count / 2) : std::nullopt;
        };
        EXPECT_EQ(r.run().errors.size(), 1U);
    }
}

TEST(AviFailures, AnyFailedPatchIsReportedOnceAndSparesEarlierChunks) {
    FailureRun probe;
    probe.run();
    for (int n = 1; n <= probe.file.writeAts; ++n) {
        SCOPED_TRACE("writeAt " + std::to_string(n));
        FailureRun r;
        r.file.failWriteAt = [n](int number, int64_t) { return number == n; };
        EXPECT_EQ(r.run().errors.size(), 1U);
    }
    for (int n = 1; n <= probe.file.seeks; n += 2) {  // the seek to the patch, not the way back
        SCOPED_TRACE("seek " + std::to_string(n));
        FailureRun r;
        r.file.failSeek = [n](int number) { return number == n; };
        EXPECT_EQ(r.run().errors.size(), 1U);
    }
}

TEST(AviFailures, DestructorSwallowsAFailingFinalize) {
    TestFile f;
    {
        AviWriter w(f);
        w.addStream(fourCC("vids"));
        w.writeHeader();
        const uint8_t frame[3] = {1, 2, 3};
        w.writeChunk(0, frame, 3, 1, true);
        f.limitWrite = [](int, size_t) { return std::optional<size_t>(0); };
        f.failWriteAt = [](int, int64_t) { return true; };
    }  // finalize fails inside the destructor; reaching the next line is the test
    EXPECT_GT(f.writes, 0);
}

}  // namespace
