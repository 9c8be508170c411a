// Tests that drive the real module as a host does: the reference host loads it, initialises it
// and talks to it only through the two dispatch functions. Each test starts with a clean host and
// codec library and must end with no live host object, no bad handle and no library instance
// beyond those it leaves open on purpose; the module is unloaded before those checks, so whatever
// the plug-in failed to release shows up there.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/iohost/driver/driver.h"
#include "platform/iohost/host/host.h"
#include "platform/iohost/module/plugin_module.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace module_test {

// The container's id as the host knows it: its bytes, two hexadecimal digits each.
inline constexpr char kContainerIdText[] = "5b1e9d0c7a3f4e2b8c6d1a9e0f3b7c54";

// A four-character code as the host carries it: the first character in the most significant byte.
inline uint32_t HostFourcc(const char (&text)[5]) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(text[i]);
    return value;
}

inline iohost::Uuid UuidFromHex(const std::string& hex) {
    iohost::Uuid id{};
    for (size_t i = 0; i < id.size() && 2 * i + 2 <= hex.size(); ++i)
        id[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return id;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        host().reset();
        parvolux_test_reset();
        ASSERT_EQ(host().liveObjects(), 0u) << "an earlier test leaked host objects";
        m_instancesBefore = parvolux_test_live_instances();
        m_module.emplace(iohost::PluginModule::load(
            iohost::PathNextToExecutable(iohost::DefaultModuleFileName())));
    }
    void TearDown() override {
        m_module.reset();
        EXPECT_EQ(host().liveObjects(), 0u) << "host objects leaked";
        EXPECT_EQ(host().badHandles(), 0u) << "a stale or foreign handle reached the host";
        EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore + m_expectedLeaks)
            << "a codec library instance stayed open";
        parvolux_test_reset();
        host().reset();
    }

    static iohost::Host& host() { return iohost::Host::instance(); }
    [[nodiscard]] const iohost::PluginModule& module() const { return *m_module; }
    [[nodiscard]] iohost::Driver driver() const { return iohost::Driver(*m_module); }

    // The texts the plug-in sent to the host's log, in order.
    [[nodiscard]] static std::vector<std::string> logTexts() {
        std::vector<std::string> texts;
        for (const auto& entry : host().log().entries()) texts.push_back(entry.text);
        return texts;
    }

    int32_t m_expectedLeaks = 0;  // a refused parvolux_close keeps its instance open
    int32_t m_instancesBefore = 0;

private:
    std::optional<iohost::PluginModule> m_module;
};

}  // namespace module_test
