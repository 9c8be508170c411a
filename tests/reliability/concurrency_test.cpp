// Whole host sessions on four threads at once, as a host with several timelines drives the
// plug-in: each thread registers, runs its own two encoders and its own container, writes its own
// file and releases everything, while the others do the same. Run under ThreadSanitizer by the
// concurrency configuration.
#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/avi_reader/avi_reader.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

using ConcurrencyTest = ModuleSuite;

TEST_F(ConcurrencyTest, WholeSessionsOnFourThreadsAtOnce) {
    parvolux_test_set_threads(1);  // one slice thread per frame keeps the library's pool out
    const SessionShape shape{32, 24, 12, 12};
    std::array<std::vector<StepAnswer>, 4> answers;
    std::array<std::string, 4> files;
    // A gate of a mutex and a condition variable, not std::barrier: on MinGW the barrier's atomic
    // wait has no futex beneath it, and this test once hung under Wine.
    std::mutex gate;
    std::condition_variable opened;
    size_t arrived = 0;
    std::vector<std::thread> threads;
    for (size_t s = 0; s < answers.size(); ++s) {
        files[s] = path("session" + std::to_string(s) + ".avi");
        threads.emplace_back([&, s] {
            {
                std::unique_lock lock(gate);
                if (++arrived == answers.size()) opened.notify_all();
                opened.wait(lock, [&] { return arrived == answers.size(); });
            }
            answers[s] = RunMuxSession(driver(), m_ids, files[s], shape);
        });
    }
    for (auto& thread : threads) thread.join();

    for (size_t s = 0; s < answers.size(); ++s) {
        for (const auto& answer : answers[s])
            EXPECT_EQ(answer.code, errNone) << "session " << s << ": " << StepName(answer.step);
        const avireader::AviFile avi = avireader::readAvi(files[s]);
        EXPECT_TRUE(avireader::checkAvi(avi).empty()) << files[s];
        EXPECT_EQ(avireader::chunksOfStream(avi, 0).size(), shape.frames) << files[s];
        EXPECT_EQ(avireader::chunksOfStream(avi, 1).size(), shape.audioPackets) << files[s];
    }
    EXPECT_TRUE(host().log().entries().empty());
}

}  // namespace
}  // namespace reliability
