// The stand-in's test controls: refusals, injected failures, counters, and their reset.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "codec_test_support.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

class TestControls : public testing::Test {
protected:
    void SetUp() override { parvolux_test_reset(); }
    void TearDown() override { parvolux_test_reset(); }
};

int32_t queryOnce(uint32_t raw, uint32_t compressed) {
    uint32_t handle = 0;
    EXPECT_EQ(parvolux_library_init(), 0);
    EXPECT_EQ(parvolux_open(&handle), 0);
    const FrameFormat in = codec_test::shortForm(raw, 128, 128),
                      out = codec_test::shortForm(compressed, 0, 0);
    uint64_t reserved = 0;
    const int32_t status = parvolux_compress_query(handle, &in, &out, &reserved, nullptr);
    EXPECT_EQ(parvolux_close(handle), 0);
    EXPECT_EQ(parvolux_library_close(), 0);
    return status;
}

TEST_F(TestControls, RefusedFormatsFailQueryOnEitherSide) {
    parvolux_test_refuse_format(103);
    parvolux_test_refuse_format(28);
    EXPECT_EQ(queryOnce(29, 103), -4) << "output refused";
    EXPECT_EQ(queryOnce(28, 109), -4) << "input refused";
    EXPECT_EQ(queryOnce(28, 111), -4);
    EXPECT_EQ(queryOnce(22, 101), 0);
    EXPECT_EQ(queryOnce(26, 110), 0);
    parvolux_test_reset();
    EXPECT_EQ(queryOnce(29, 103), 0);
    EXPECT_EQ(queryOnce(28, 109), 0);
}

TEST_F(TestControls, FailOnceAlwaysAndNth) {
    ASSERT_EQ(parvolux_library_init(), 0);
    uint32_t handle = 0;

    parvolux_test_fail(parvoluxFnOpen, -6, 1);
    EXPECT_EQ(parvolux_open(&handle), -6);
    EXPECT_EQ(handle, 0u) << "a failed open leaves the handle alone";
    ASSERT_EQ(parvolux_open(&handle), 0);

    const FrameFormat in = codec_test::shortForm(22, 128, 128),
                      out = codec_test::shortForm(101, 0, 0);
    parvolux_test_fail(parvoluxFnCompressQuery, -1, -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(parvolux_compress_query(handle, &in, &out, nullptr, nullptr), -1);
    parvolux_test_fail(parvoluxFnCompressQuery, 0, 0);
    EXPECT_EQ(parvolux_compress_query(handle, &in, &out, nullptr, nullptr), 0);

    parvolux_test_fail(parvoluxFnCompressQuery, -5, 2);
    EXPECT_EQ(parvolux_compress_query(handle, &in, &out, nullptr, nullptr), -5);
    EXPECT_EQ(parvolux_compress_query(handle, &in, &out, nullptr, nullptr), -5);
    EXPECT_EQ(parvolux_compress_query(handle, &in, &out, nullptr, nullptr), 0);

    parvolux_test_fail_nth(parvoluxFnCompressQuery, -3, 3);
    std::vector<int32_t> statuses;
    for (int i = 0; i < 5; ++i)
        statuses.push_back(parvolux_compress_query(handle, &in, &out, nullptr, nullptr));
    EXPECT_EQ(statuses, (std::vector<int32_t>{0, 0, -3, 0, 0}));

    parvolux_test_fail(parvoluxFnClose, -1, 1);
    EXPECT_EQ(parvolux_close(handle), -1);
    EXPECT_EQ(parvolux_test_live_instances(), 1) << "a failed close keeps the instance";
    EXPECT_EQ(parvolux_close(handle), 0);
    EXPECT_EQ(parvolux_library_close(), 0);

    parvolux_test_fail(parvoluxFnLibraryInit, -7, 1);
    EXPECT_EQ(parvolux_library_init(), -7);
    EXPECT_EQ(parvolux_open(&handle), -7) << "the failed init did not count";
}

TEST_F(TestControls, EveryFunctionCanBeMadeToFail) {
    // Each function answers the injected status before anything else, even with null arguments.
    const auto call = [](int fn) -> int32_t {
        switch (fn) {
            case parvoluxFnLibraryInit:
                return parvolux_library_init();
            case parvoluxFnOpen:
                return parvolux_open(nullptr);
            case parvoluxFnClose:
                return parvolux_close(0);
            case parvoluxFnLibraryClose:
                return parvolux_library_close();
            case parvoluxFnCompressQuery:
                return parvolux_compress_query(0, nullptr, nullptr, nullptr, nullptr);
            case parvoluxFnCompressBegin:
                return parvolux_compress_begin(0, nullptr, nullptr, nullptr, nullptr, nullptr);
            case parvoluxFnInitPlanesCommon:
                return parvolux_init_planes_common(0, nullptr, nullptr, nullptr);
            case parvoluxFnCompress:
                return parvolux_compress(0, nullptr, nullptr, nullptr);
        }
        return 1;
    };
    for (int fn = 0; fn < parvoluxFnCount; ++fn) {
        parvolux_test_fail(fn, -100 - fn, 1);
        EXPECT_EQ(call(fn), -100 - fn) << "function " << fn;
        EXPECT_EQ(parvolux_test_call_count(fn), 1u) << "function " << fn;
    }
}

TEST_F(TestControls, CountsCallsLiveInstancesAndTheLastInput) {
    EXPECT_EQ(parvolux_test_last_input(), nullptr);
    const int32_t liveBefore = parvolux_test_live_instances();
    const codec_test::StreamRow& row = codec_test::streamRows()[4];
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, 64, 32, codec_test::Content::Gradient, 2);
    {
        codec_test::Session session(row, 64, 32);
        EXPECT_EQ(parvolux_test_live_instances(), liveBefore + 1);
        session.compress(raw);
        session.compress(raw);
        EXPECT_EQ(parvolux_test_last_input(), raw.bytes.data());
    }
    EXPECT_EQ(parvolux_test_live_instances(), liveBefore);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryInit), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnOpen), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressBegin), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnInitPlanesCommon), 2u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompress), 2u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnClose), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnLibraryClose), 1u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompressQuery), 0u);
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCount), 0u);
    parvolux_test_reset();
    EXPECT_EQ(parvolux_test_call_count(parvoluxFnCompress), 0u);
    EXPECT_EQ(parvolux_test_last_input(), nullptr);
}

TEST_F(TestControls, ConcurrentEncodersShareTheLibrary) {
    // Encoders on several threads at once, each with its own handle, all through one pool.
    parvolux_test_set_threads(3);
    const codec_test::StreamRow& row = codec_test::streamRows()[0];
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, 320, 200, codec_test::Content::Natural, 9);
    std::vector<uint8_t> reference;
    {
        codec_test::Session session(row, 320, 200);
        reference = session.compress(raw);
    }
    std::vector<std::vector<uint8_t>> packets(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < packets.size(); ++t)
        threads.emplace_back([&, t] {
            codec_test::Session session(row, 320, 200);
            for (int i = 0; i < 3; ++i) packets[t] = session.compress(raw);
        });
    for (auto& t : threads) t.join();
    for (const auto& packet : packets) EXPECT_EQ(packet, reference);
}

TEST_F(TestControls, ThreadCountNeverChangesThePacket) {
    const codec_test::StreamRow& row = codec_test::streamRows()[9];
    const codec_test::RawFrame raw =
        codec_test::makeRawFrame(row.raw, 640, 360, codec_test::Content::Natural, 5);
    std::vector<uint8_t> first;
    for (uint32_t threads : {1u, 2u, 5u}) {
        parvolux_test_set_threads(threads);
        EXPECT_EQ(parvolux_test_threads(), threads);
        codec_test::Session session(row, 640, 360);
        const std::vector<uint8_t> packet = session.compress(raw);
        if (first.empty()) first = packet;
        EXPECT_EQ(packet, first) << threads << " threads";
    }
    parvolux_test_set_threads(0);
    EXPECT_GE(parvolux_test_threads(), 1u);
}

}  // namespace
