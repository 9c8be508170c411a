// Fault sweeps over a whole host session: for every host operation the plug-in calls and every
// codec library function, fail the N-th call for every N that a clean session reaches, run the
// session again and check what the host gets: only documented codes and messages, nothing left
// alive, no stale handle, and a consistent file unless the container reported a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "platform/avi_reader/avi_reader.h"
#include "tests/reliability/sweep_fixture.h"

namespace reliability {
namespace {

using iohost::HostOperation;

struct Expectation {
    std::set<int32_t> codes;   // errNone included where the step can succeed
    std::set<int32_t> silent;  // failure codes that come without a message
};

// Silent failures are the host's own refusals passed on (getInfo, a list append, a delivery), a
// refused "mediaType" read (a track that cannot be described), and every frame after a failed Open.
Expectation Expected(Step step, bool silentProcess) {
    switch (step) {
        case Step::GetInfo:
            return {{errNone, errFail}, {errFail}};
        case Step::ListContainers:
        case Step::ListCodecs:
            return {{errNone, errFail, errAlloc}, {errFail}};
        case Step::AddVideoTrack:
        case Step::AddAudioTrack:
            return {{errNone, errInvalidParam}, {errInvalidParam}};
        case Step::Process:
            if (silentProcess) return {{errNone, errFail}, {errFail}};
            return {{errNone, errFail, errAlloc, errMissingProperty, errUnsupported}, {}};
        case Step::OpenEncoder:
        case Step::OpenContainer:
        case Step::WriteVideo:
        case Step::WriteAudio:
        case Step::CloseContainer:
            return {{errNone, errFail}, {}};
        default:  // creation, callbacks and contInit use none of the faulted calls' results
            return {{errNone}, {}};
    }
}

// Empty when every answer is as documented; else one line per offence.
std::string Offences(const std::vector<StepAnswer>& answers, bool deliverFaulted) {
    std::ostringstream out;
    bool openFailed = false;
    for (const auto& answer : answers) {
        openFailed = openFailed || (answer.step == Step::OpenEncoder && answer.code != errNone);
        const Expectation expected = Expected(answer.step, deliverFaulted || openFailed);
        const char* name = StepName(answer.step);
        if (expected.codes.count(answer.code) == 0) {
            out << name << " answered " << answer.code << "\n";
        } else if (answer.code == errNone && answer.messages != 0) {
            out << name << " succeeded but logged " << answer.messages << "\n";
        } else if (answer.code != errNone && answer.messages == 0 &&
                   expected.silent.count(answer.code) == 0) {
            out << name << " failed with " << answer.code << " but logged nothing\n";
        }
    }
    return out.str();
}

// A host operation failing with errFail, or a codec library function failing with -6.
struct Fault {
    const char* name;
    int fn;  // the library function, -1 for a host operation
    HostOperation op = HostOperation::Create;
    uint32_t selector = 0;
};

class FaultSweep : public ModuleSuite, public ::testing::WithParamInterface<Fault> {
protected:
    // Calls of the faulted function or host operation since the last reset.
    static size_t callsOf(const Fault& fault) {
        if (fault.fn >= 0) return parvolux_test_call_count(fault.fn);
        const auto calls = iohost::Host::instance().calls().calls();
        return std::count_if(calls.begin(), calls.end(),
                             [&](const auto& call) { return call.selector == fault.selector; });
    }

    std::vector<StepAnswer> run() {
        host().log().clear();
        host().calls().clear();
        host().calls().setEnabled(true);
        auto answers = RunMuxSession(driver(), m_ids, path("sweep.avi"));
        host().calls().setEnabled(false);
        return answers;
    }
};

TEST_P(FaultSweep, EveryNthCallFailsCleanly) {
    const Fault fault = GetParam();
    const bool library = fault.fn >= 0;
    parvolux_test_reset();
    for (const auto& answer : run()) {  // the clean session, whose calls are counted
        ASSERT_TRUE(answer.code == errNone && answer.messages == 0)
            << StepName(answer.step) << " answered " << answer.code;
    }
    const size_t calls = callsOf(fault);
    ASSERT_GT(calls, 0u) << "a clean session makes no " << fault.name << " call";

    for (uint32_t n = 1; n <= calls && !HasFailure(); ++n) {
        const std::string context = std::string(fault.name) + " call " + std::to_string(n);
        parvolux_test_reset();
        if (library) {
            parvolux_test_fail_nth(fault.fn, -6, n);
        } else {
            host().faults().failNth(fault.op, n, errFail);
        }
        const auto answers = run();
        host().faults().reset();
        EXPECT_GE(callsOf(fault), n) << context << ": the fault never fired";
        EXPECT_EQ(Offences(answers, !library && fault.op == HostOperation::Deliver), "") << context;
        EXPECT_EQ(host().liveObjects(), 0u) << context;
        EXPECT_EQ(host().badHandles(), 0u) << context;
        for (const auto& entry : host().log().entries()) {  // only the plug-in's own, at level 0
            const bool ours = entry.text.rfind("Parvolux Plugin :: ", 0) == 0 ||
                              entry.text == "Plugin Failed to create a property bag" ||
                              entry.text == "Plugin Failed to create a buffer";
            EXPECT_TRUE(ours && entry.level == 0) << context << ": " << entry.text;
        }
        // A refused parvolux_close leaves the instance open: the plug-in does not retry.
        m_expectedLeaks += library && fault.fn == parvoluxFnClose ? 1 : 0;
        EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + m_expectedLeaks) << context;
        // A refused "duration" read legitimately gives a zero-length audio chunk that the headers
        // disagree with; every other fault the container did not report leaves a consistent file.
        const bool containerFailed = std::any_of(answers.begin(), answers.end(), [](auto& a) {
            return a.step >= Step::CreateContainer && a.code != errNone;
        });
        if (!containerFailed && (library || fault.op != HostOperation::Get)) {
            for (const auto& problem : avireader::checkAvi(avireader::readAvi(path("sweep.avi"))))
                ADD_FAILURE() << context << ": " << avireader::toString(problem);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultSweep,
    ::testing::Values(Fault{"create", -1, HostOperation::Create, hostCreateObject},
                      Fault{"set", -1, HostOperation::Set, hostSetProperty},
                      Fault{"get", -1, HostOperation::Get, hostGetProperty},
                      Fault{"lock", -1, HostOperation::Lock, hostBufferLock},
                      Fault{"unlock", -1, HostOperation::Unlock, hostBufferUnlock},
                      Fault{"setSize", -1, HostOperation::SetSize, hostBufferSetSize},
                      Fault{"append", -1, HostOperation::Append, hostListAdd},
                      Fault{"deliver", -1, HostOperation::Deliver, hostDeliver},
                      Fault{"library_init", parvoluxFnLibraryInit}, Fault{"open", parvoluxFnOpen},
                      Fault{"close", parvoluxFnClose},
                      Fault{"library_close", parvoluxFnLibraryClose},
                      Fault{"compress_query", parvoluxFnCompressQuery},  // drops its codec silently
                      Fault{"compress_begin", parvoluxFnCompressBegin},
                      Fault{"init_planes_common", parvoluxFnInitPlanesCommon},
                      Fault{"compress", parvoluxFnCompress}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace reliability
