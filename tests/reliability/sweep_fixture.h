// The fixture of the sweeps, the disk-full and the concurrency tests: the real module loaded by
// the reference host once per suite, a clean host and codec library and the session's ids before
// each test, and after it no live host object, no bad handle and no library instance beyond those
// the test leaves open on purpose.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/iohost/module/plugin_module.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "tests/fileio/temp_dir.h"
#include "tests/reliability/mux_session.h"

namespace reliability {

class ModuleSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = std::make_unique<iohost::PluginModule>(iohost::PluginModule::load(
            iohost::PathNextToExecutable(iohost::DefaultModuleFileName())));
    }
    static void TearDownTestSuite() { s_module.reset(); }
    void SetUp() override {
        host().reset();
        parvolux_test_reset();
        m_instancesBefore = parvolux_test_live_instances();
        ASSERT_TRUE(FindSessionIds(driver(), m_ids)) << "the session's codecs are not published";
        host().log().clear();
    }
    void TearDown() override {
        EXPECT_EQ(host().liveObjects(), 0u) << "host objects leaked";
        EXPECT_EQ(host().badHandles(), 0u) << "a stale or foreign handle reached the host";
        EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + m_expectedLeaks);
    }

    static iohost::Host& host() { return iohost::Host::instance(); }
    static iohost::Driver driver() { return iohost::Driver(*s_module); }
    std::string path(const std::string& name) const {
        return m_dir.file(std::u8string(name.begin(), name.end()));
    }

    static inline std::unique_ptr<iohost::PluginModule> s_module;
    TempDir m_dir;
    SessionIds m_ids;
    int32_t m_expectedLeaks = 0;  // a refused parvolux_close keeps its instance open
    int32_t m_instancesBefore = 0;
};

}  // namespace reliability
