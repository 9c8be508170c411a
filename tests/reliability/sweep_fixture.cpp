#include "tests/reliability/sweep_fixture.h"

#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace reliability {

std::unique_ptr<iohost::PluginModule> ModuleSuite::s_module;

void ModuleSuite::SetUpTestSuite() {
    s_module = std::make_unique<iohost::PluginModule>(
        iohost::PluginModule::load(iohost::PathNextToExecutable(iohost::DefaultModuleFileName())));
}

void ModuleSuite::TearDownTestSuite() {
    s_module.reset();
    EXPECT_EQ(host().liveObjects(), 0u) << "host objects outlived the module";
}

void ModuleSuite::SetUp() {
    host().reset();
    parvolux_test_reset();
    ASSERT_EQ(host().liveObjects(), 0u) << "an earlier test leaked host objects";
    m_instancesBefore = parvolux_test_live_instances();
}

void ModuleSuite::TearDown() {
    EXPECT_EQ(host().liveObjects(), 0u) << "host objects leaked";
    EXPECT_EQ(host().badHandles(), 0u) << "a stale or foreign handle reached the host";
    EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + m_expectedLeaks)
        << "codec library instances left open";
    parvolux_test_reset();
    host().reset();
}

std::string ModuleSuite::path(const std::string& name) const {
    return m_dir.file(std::u8string(name.begin(), name.end()));
}

std::vector<std::string> ModuleSuite::strayMessages() {
    static const std::string kPrefix = "Parvolux Plugin :: ";
    std::vector<std::string> stray;
    for (const auto& entry : host().log().entries()) {
        const bool ours = entry.text.rfind(kPrefix, 0) == 0 ||
                          entry.text == "Plugin Failed to create a property bag" ||
                          entry.text == "Plugin Failed to create a buffer";
        if (!ours || entry.level != 0) stray.push_back(entry.text);
    }
    return stray;
}

}  // namespace reliability
