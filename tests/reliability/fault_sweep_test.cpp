// Fault sweeps over a whole host session: for every host operation the plug-in calls and every
// codec library function, fail the N-th call for every N that a clean session reaches, run the
// session again and check what the host gets: only documented codes, the documented messages,
// nothing left alive, no stale handle.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "platform/avi_reader/avi_reader.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "tests/reliability/mux_session.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

using iohost::HostOperation;

struct Expectation {
    std::set<int32_t> codes;   // errNone included where the step can succeed
    std::set<int32_t> silent;  // failure codes that come without a message
};

// What each step may answer, and which failures the plug-in reports without a message: a refused
// "mediaType" read, the host's own answers to getInfo, a list append and a delivery.
Expectation Expected(Step step, bool deliverFaulted) {
    switch (step) {
        case Step::GetInfo:
            return {{errNone, errFail}, {errFail}};
        case Step::ListContainers:
            return {{errNone, errFail, errAlloc}, {errFail}};
        case Step::ListCodecs:
            return {{errNone, errFail, errAlloc}, {}};
        case Step::CreateEncoder:
        case Step::CreateContainer:
        case Step::SetCallback:
        case Step::InitContainer:
            return {{errNone}, {}};
        case Step::AddVideoTrack:
        case Step::AddAudioTrack:
            return {{errNone, errInvalidParam}, {errInvalidParam}};
        case Step::Process:
            if (deliverFaulted) return {{errNone, errFail}, {errFail}};
            return {{errNone, errFail, errAlloc, errMissingProperty, errUnsupported}, {}};
        case Step::OpenEncoder:
        case Step::OpenContainer:
        case Step::WriteVideo:
        case Step::WriteAudio:
        case Step::CloseContainer:
            return {{errNone, errFail}, {}};
    }
    return {};
}

// Empty when every answer is as documented; else one line per offence.
std::string Offences(const std::vector<StepAnswer>& answers, bool deliverFaulted) {
    std::ostringstream out;
    bool openFailed = false;
    for (const auto& answer : answers) {
        // An encoder whose Open failed refuses every frame without a further message.
        openFailed = openFailed || (answer.step == Step::OpenEncoder && answer.code != errNone);
        const Expectation expected = Expected(answer.step, deliverFaulted || openFailed);
        if (expected.codes.count(answer.code) == 0) {
            out << StepName(answer.step) << " answered " << answer.code << "\n";
        } else if (answer.code == errNone && answer.messages != 0) {
            out << StepName(answer.step) << " succeeded but logged " << answer.messages << "\n";
        } else if (answer.code != errNone && answer.messages == 0 &&
                   expected.silent.count(answer.code) == 0 &&
                   // listCodecs refused by the list itself is silent; refused by the library not
                   !(answer.step == Step::ListCodecs && answer.code == errFail)) {
            out << StepName(answer.step) << " failed with " << answer.code
                << " but logged nothing\n";
        }
    }
    return out.str();
}

// The checker's findings as text; empty for a consistent file.
std::string FileProblems(const std::string& file) {
    std::string text;
    for (const auto& problem : avireader::checkAvi(avireader::readAvi(file)))
        text += avireader::toString(problem) + "\n";
    return text;
}

size_t CountSelector(uint32_t selector) {
    size_t n = 0;
    for (const auto& call : iohost::Host::instance().calls().calls())
        n += call.selector == selector;
    return n;
}

struct HostCase {
    HostOperation op;
    uint32_t selector;
};

const HostCase kHostCases[] = {
    {HostOperation::Create, hostCreateObject}, {HostOperation::Set, hostSetProperty},
    {HostOperation::Get, hostGetProperty},     {HostOperation::Lock, hostBufferLock},
    {HostOperation::Unlock, hostBufferUnlock}, {HostOperation::SetSize, hostBufferSetSize},
    {HostOperation::Append, hostListAdd},      {HostOperation::Deliver, hostDeliver},
};

class SessionTest : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        ASSERT_TRUE(FindSessionIds(driver(), m_ids)) << "the session's codecs are not published";
        host().log().clear();
    }

    // One session with the call record on; the answers and the log are checked by the caller.
    std::vector<StepAnswer> run(const std::string& name) {
        host().log().clear();
        host().calls().clear();
        host().calls().setEnabled(true);
        auto answers = RunMuxSession(driver(), m_ids, path(name));
        host().calls().setEnabled(false);
        return answers;
    }

    // Everything that must hold after any session, faulted or not.
    void expectClean(const std::string& context) {
        EXPECT_EQ(host().liveObjects(), 0u) << context;
        EXPECT_EQ(host().badHandles(), 0u) << context;
        EXPECT_TRUE(strayMessages().empty()) << context << ": " << strayMessages().front();
    }

    SessionIds m_ids;
};

TEST_F(SessionTest, CleanSessionAnswersZeroAndWritesAConsistentFile) {
    const auto answers = run("clean.avi");
    for (const auto& answer : answers) {
        EXPECT_EQ(answer.code, errNone) << StepName(answer.step);
        EXPECT_EQ(answer.messages, 0u) << StepName(answer.step);
    }
    expectClean("clean session");
    const avireader::AviFile avi = avireader::readAvi(path("clean.avi"));
    EXPECT_EQ(FileProblems(path("clean.avi")), "");
    ASSERT_EQ(avi.streams.size(), 2u);
    EXPECT_EQ(avireader::chunksOfStream(avi, 0).size(), 3u);
    EXPECT_EQ(avireader::chunksOfStream(avi, 1).size(), 3u);
}

class HostFaultSweep : public SessionTest, public ::testing::WithParamInterface<HostCase> {};

TEST_P(HostFaultSweep, EveryNthCallFailsCleanly) {
    const HostCase sweep = GetParam();
    (void)run("count.avi");
    const size_t calls = CountSelector(sweep.selector);
    ASSERT_GT(calls, 0u) << "a clean session never calls " << iohost::HostOperationName(sweep.op);

    for (uint32_t n = 1; n <= calls; ++n) {
        const std::string context =
            std::string(iohost::HostOperationName(sweep.op)) + " call " + std::to_string(n);
        host().faults().failNth(sweep.op, n, errFail);
        const auto answers = run("sweep.avi");
        host().faults().reset();
        EXPECT_GE(CountSelector(sweep.selector), n) << context << ": the fault never fired";
        EXPECT_EQ(Offences(answers, sweep.op == HostOperation::Deliver), "") << context;
        expectClean(context);
        // A missing "duration" legitimately gives a zero-length audio chunk, so a refused read
        // may leave headers that disagree with the chunks; every other fault that the container
        // did not report must leave a consistent file.
        bool containerOk = true;
        for (const auto& answer : answers) {
            if (answer.step >= Step::CreateContainer && answer.code != errNone) containerOk = false;
        }
        if (containerOk && sweep.op != HostOperation::Get) {
            EXPECT_EQ(FileProblems(path("sweep.avi")), "") << context;
        }
        if (HasFailure()) break;  // one detailed failure is enough
    }
}

INSTANTIATE_TEST_SUITE_P(HostOperations, HostFaultSweep, ::testing::ValuesIn(kHostCases),
                         [](const auto& info) {
                             return std::string(iohost::HostOperationName(info.param.op));
                         });

struct LibraryCase {
    ParvoluxFunction fn;
    const char* name;
    bool reported;  // a failure reaches the host's log with the library's status
};

const LibraryCase kLibraryCases[] = {
    {parvoluxFnLibraryInit, "library_init", true},
    {parvoluxFnOpen, "open", true},
    {parvoluxFnClose, "close", false},
    {parvoluxFnLibraryClose, "library_close", false},
    {parvoluxFnCompressQuery, "compress_query", false},  // the row is skipped silently
    {parvoluxFnCompressBegin, "compress_begin", true},
    {parvoluxFnInitPlanesCommon, "init_planes_common", true},
    {parvoluxFnCompress, "compress", true},
};

class LibraryFaultSweep : public SessionTest, public ::testing::WithParamInterface<LibraryCase> {};

TEST_P(LibraryFaultSweep, EveryNthCallFailsCleanly) {
    const LibraryCase sweep = GetParam();
    constexpr int32_t kStatus = -6;  // "out of memory"
    parvolux_test_reset();
    (void)run("count.avi");
    const uint32_t calls = parvolux_test_call_count(sweep.fn);
    ASSERT_GT(calls, 0u);

    for (uint32_t n = 1; n <= calls; ++n) {
        const std::string context = std::string(sweep.name) + " call " + std::to_string(n);
        parvolux_test_reset();
        const int32_t instancesBefore = parvolux_test_live_instances();
        parvolux_test_fail_nth(sweep.fn, kStatus, n);
        const auto answers = run("sweep.avi");
        EXPECT_GE(parvolux_test_call_count(sweep.fn), n) << context << ": the fault never fired";
        EXPECT_EQ(Offences(answers, false), "") << context;
        expectClean(context);
        if (sweep.reported) {
            EXPECT_TRUE(host().log().contains("Parvolux error (-6): "))
                << context << ": the library's status is not in the log";
        } else {
            EXPECT_EQ(host().log().size(), 0u) << context << ": " << host().log().entries()[0].text;
        }
        // A refused parvolux_close leaves the instance open: the plug-in does not retry.
        const int32_t leaked = sweep.fn == parvoluxFnClose ? 1 : 0;
        EXPECT_EQ(parvolux_test_live_instances(), instancesBefore + leaked) << context;
        m_expectedLeaks += leaked;
        if (HasFailure()) break;
    }
}

TEST_F(SessionTest, RefusedProbeDropsExactlyThatCodec) {
    std::vector<iohost::CodecInfo> all;
    ASSERT_EQ(driver().listCodecs(all), errNone);
    parvolux_test_reset();
    parvolux_test_fail_nth(parvoluxFnCompressQuery, -4, 1);
    std::vector<iohost::CodecInfo> fewer;
    ASSERT_EQ(driver().listCodecs(fewer), errNone);
    ASSERT_EQ(fewer.size() + 1, all.size());
    EXPECT_EQ(fewer.front().name, all[1].name);
    EXPECT_EQ(host().log().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(LibraryFunctions, LibraryFaultSweep, ::testing::ValuesIn(kLibraryCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
