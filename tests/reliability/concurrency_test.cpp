// Many objects at once, as a host with several timelines drives the plug-in: four encoders and two
// containers on their own threads while other threads take and drop references to all of them,
// and the track/container cycle broken in every order, also from several threads at once. Run
// under ThreadSanitizer by the concurrency configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/container.h"
#include "platform/iohost/encoder.h"
#include "platform/iohost/track.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "tests/reliability/mux_session.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

constexpr uint32_t kWidth = 32;
constexpr uint32_t kHeight = 24;

class ConcurrencyTest : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        ASSERT_TRUE(FindSessionIds(driver(), m_ids));
        // One slice thread per frame keeps the library's own pool out of the picture.
        parvolux_test_set_threads(1);
    }

    // Takes and drops `rounds` references to each object, interleaved with the other churners.
    static void churn(const std::vector<const iohost::PluginObject*>& objects, int rounds,
                      std::atomic<int>& errors) {
        for (int i = 0; i < rounds; ++i) {
            for (const auto* object : objects) {
                uint32_t count = 0;
                if (object->addRef(count) != errNone || count < 2) ++errors;
            }
            for (const auto* object : objects) {
                uint32_t count = 0;
                if (object->releaseExtra(count) != errNone || count < 1) ++errors;
            }
        }
    }

    // The plug-in's count of an object, seen by taking and dropping one reference.
    static uint32_t refCount(const iohost::PluginObject& object) {
        uint32_t up = 0;
        uint32_t down = 0;
        EXPECT_EQ(object.addRef(up), errNone);
        EXPECT_EQ(object.releaseExtra(down), errNone);
        EXPECT_EQ(up, down + 1);
        return down;
    }

    SessionIds m_ids;
};

TEST_F(ConcurrencyTest, FourEncodersTwoContainersAndReferenceChurn) {
    constexpr uint32_t kFrames = 12;
    constexpr int kChurners = 3;
    constexpr int kRounds = 300;

    std::array<iohost::Encoder, 4> encoders;
    std::array<iohost::Container, 2> containers;
    std::array<iohost::Track, 2> videos;
    std::array<iohost::Track, 2> audios;
    std::array<std::atomic<uint32_t>, 4> delivered{};
    const std::array<std::string, 2> paths = {path("a.avi"), path("b.avi")};

    for (size_t i = 0; i < encoders.size(); ++i) {
        const iohost::Uuid& id = i % 2 == 0 ? m_ids.rgbCodec : m_ids.yuvCodec;
        ASSERT_EQ(driver().createEncoder(id, encoders[i]), errNone);
        iohost::Track* target = i < 2 ? &videos[i] : nullptr;
        std::atomic<uint32_t>* counter = &delivered[i];
        ASSERT_EQ(encoders[i].setCallback([target, counter](iohost::HostBuffer& packet) {
            counter->fetch_add(1);
            return target != nullptr ? target->write(packet) : int32_t{errNone};
        }),
                  errNone);
        iohost::StreamSettings settings;
        settings.width = kWidth;
        settings.height = kHeight;
        ASSERT_EQ(encoders[i].open(settings), errNone);
    }
    for (size_t c = 0; c < containers.size(); ++c) {
        ASSERT_EQ(driver().createContainer(m_ids.container, containers[c]), errNone);
        ASSERT_EQ(containers[c].init(), errNone);
        iohost::VideoTrackSettings track;
        track.width = kWidth;
        track.height = kHeight;
        track.fourcc = c == 0 ? m_ids.rgbFourcc : m_ids.rgbFourcc;
        track.cookie = encoders[c].cookie();
        ASSERT_EQ(containers[c].addVideoTrack(track, videos[c]), errNone);
        ASSERT_EQ(containers[c].addAudioTrack({}, audios[c]), errNone);
        ASSERT_EQ(containers[c].open(paths[c]), errNone);
    }

    std::vector<const iohost::PluginObject*> all;
    for (const auto& e : encoders) all.push_back(&e);
    for (size_t c = 0; c < 2; ++c) all.insert(all.end(), {&containers[c], &videos[c], &audios[c]});
    std::vector<uint32_t> countsBefore;
    for (const auto* object : all) countsBefore.push_back(refCount(*object));

    std::atomic<int> errors{0};
    std::barrier start(static_cast<std::ptrdiff_t>(encoders.size() + kChurners));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < encoders.size(); ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            for (uint32_t f = 0; f < kFrames; ++f) {
                const auto frame =
                    i % 2 == 0 ? RgbFrame(kWidth, kHeight, f) : Yuv420Frame(kWidth, kHeight, f);
                if (encoders[i].process(frame, kWidth, kHeight, f) != errNone) ++errors;
                // The encoder's thread also feeds its container's audio: one container, one
                // thread.
                if (i < 2 && audios[i].write(PatternBytes(4 * 100, f), int64_t{100}) != errNone)
                    ++errors;
            }
        });
    }
    for (int t = 0; t < kChurners; ++t) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            churn(all, kRounds, errors);
        });
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(errors.load(), 0);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(refCount(*all[i]), countsBefore[i]) << "object " << i << " lost an update";
    }
    for (const auto& count : delivered) EXPECT_EQ(count.load(), kFrames);
    for (auto& container : containers) EXPECT_EQ(container.close(), errNone);
    EXPECT_TRUE(host().log().entries().empty());

    for (const auto& file : paths) {
        const avireader::AviFile avi = avireader::readAvi(file);
        EXPECT_TRUE(avireader::checkAvi(avi).empty()) << file;
        EXPECT_EQ(avireader::chunksOfStream(avi, 0).size(), kFrames) << file;
        EXPECT_EQ(avireader::chunksOfStream(avi, 1).size(), kFrames) << file;
    }
    for (auto& track : videos) track.reset();
    for (auto& track : audios) track.reset();
    for (auto& container : containers) container.reset();
    for (auto& encoder : encoders) encoder.reset();
    EXPECT_EQ(parvolux_test_live_instances(), 0);
}

// Which of the host's three references (video track, audio track, container) go in which order,
// and which of them go before contClose (only tracks can: the host needs the container to close
// it).
struct ReleasePlan {
    std::array<int, 3> order;  // 0 video, 1 audio, 2 container
    int beforeClose;           // how many of the first entries of `order` go before contClose
};

std::vector<ReleasePlan> AllPlans() {
    std::vector<ReleasePlan> plans;
    std::array<int, 3> order = {0, 1, 2};
    do {
        for (int before = 0; before <= 2; ++before) {
            bool tracksOnly = true;
            for (int k = 0; k < before; ++k) tracksOnly = tracksOnly && order[k] != 2;
            if (tracksOnly) plans.push_back({order, before});
        }
    } while (std::next_permutation(order.begin(), order.end()));
    return plans;
}

TEST_F(ConcurrencyTest, CycleReleasedInEveryOrderOnEveryThread) {
    const auto plans = AllPlans();
    ASSERT_EQ(plans.size(), 12u);  // 6 orders after close, 4 with one track first, 2 with both
    std::atomic<int> errors{0};
    std::vector<std::thread> threads;
    for (size_t p = 0; p < plans.size(); ++p) {
        threads.emplace_back([&, p] {
            const ReleasePlan& plan = plans[p];
            for (int round = 0; round < 10; ++round) {
                iohost::Container container;
                std::array<iohost::Track, 2> tracks;
                if (driver().createContainer(m_ids.container, container) != errNone ||
                    container.init() != errNone) {
                    ++errors;
                    return;
                }
                iohost::VideoTrackSettings video;
                video.width = kWidth;
                video.height = kHeight;
                video.fourcc = m_ids.rgbFourcc;
                if (container.addVideoTrack(video, tracks[0]) != errNone ||
                    container.addAudioTrack({}, tracks[1]) != errNone ||
                    container.open(path("cycle" + std::to_string(p) + ".avi")) != errNone ||
                    tracks[0].write(RgbFrame(8, 8, round)) != errNone ||
                    tracks[1].write(PatternBytes(64, round), int64_t{16}) != errNone) {
                    ++errors;
                }
                const auto drop = [&](int which) {
                    if (which == 2) {
                        container.reset();
                    } else {
                        tracks[static_cast<size_t>(which)].reset();
                    }
                };
                for (int k = 0; k < plan.beforeClose; ++k) drop(plan.order[static_cast<size_t>(k)]);
                if (container.close() != errNone) ++errors;
                for (int k = plan.beforeClose; k < 3; ++k) drop(plan.order[static_cast<size_t>(k)]);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_TRUE(host().log().entries().empty());
}

TEST_F(ConcurrencyTest, LastReferencesDroppedFromThreeThreadsAtOnce) {
    for (int round = 0; round < 50; ++round) {
        iohost::Container container;
        std::array<iohost::Track, 2> tracks;
        ASSERT_EQ(driver().createContainer(m_ids.container, container), errNone);
        iohost::VideoTrackSettings video;
        video.width = kWidth;
        video.height = kHeight;
        ASSERT_EQ(container.addVideoTrack(video, tracks[0]), errNone);
        ASSERT_EQ(container.addAudioTrack({}, tracks[1]), errNone);
        ASSERT_EQ(container.close(), errNone);
        std::barrier start(3);
        std::thread a([&] {
            start.arrive_and_wait();
            tracks[0].reset();
        });
        std::thread b([&] {
            start.arrive_and_wait();
            tracks[1].reset();
        });
        std::thread c([&] {
            start.arrive_and_wait();
            container.reset();
        });
        a.join();
        b.join();
        c.join();
    }
    EXPECT_TRUE(host().log().entries().empty());
}

}  // namespace
}  // namespace reliability
