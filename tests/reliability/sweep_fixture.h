// The fixture shared by the sweeps and the concurrency tests: the real module loaded by the
// reference host once per test suite, a clean host and codec library before every test, and the
// end-of-test accounting (no live host object, no bad handle, no library instance beyond what the
// test expects to leak on purpose).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/iohost/driver.h"
#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"
#include "tests/fileio/temp_dir.h"

namespace reliability {

class ModuleSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static iohost::Host& host() { return iohost::Host::instance(); }
    [[nodiscard]] static iohost::Driver driver() { return iohost::Driver(*s_module); }
    [[nodiscard]] std::string path(const std::string& name) const;

    // Texts of the log entries that do not have a form the plug-in may use.
    [[nodiscard]] static std::vector<std::string> strayMessages();

    static std::unique_ptr<iohost::PluginModule> s_module;
    TempDir m_dir;
    // Library instances the test leaves open on purpose (a refused parvolux_close keeps one).
    int32_t m_expectedLeaks = 0;

private:
    int32_t m_instancesBefore = 0;
};

}  // namespace reliability
