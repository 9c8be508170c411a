// The fixture of the sweeps, the disk-full and the concurrency tests: the module's fixture with
// the session's ids taken before each test and a scratch folder for its files.
#pragma once

#include <string>

#include "platform/iohost/driver/mux_session.h"
#include "tests/support/module_fixture.h"
#include "tests/support/temp_dir.h"

namespace reliability {

// The session the sweeps run.
using iohost::FindSessionIds, iohost::PatternBytes, iohost::RunMuxSession, iohost::SessionIds,
    iohost::SessionShape, iohost::Step, iohost::StepAnswer, iohost::StepName;

class ModuleSuite : public module_test::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_TRUE(FindSessionIds(driver(), m_ids)) << "the session's codecs are not published";
        host().log().clear();
    }
    [[nodiscard]] std::string path(const std::string& name) const {
        return m_dir.file(std::u8string(name.begin(), name.end()));
    }

    TempDir m_dir;
    SessionIds m_ids;
};

}  // namespace reliability
