#include "tests/encoder/encoder_test_fixture.h"

#include <cinttypes>
#include <cstdio>

void EncoderTest::SetUp() {
    host().reset();
    parvolux_test_reset();
    m_instancesBefore = parvolux_test_live_instances();
    ASSERT_EQ(host().liveObjects(), 0u) << "an earlier test left host objects alive";
}

void EncoderTest::TearDown() {
    m_session.reset();
    host().faults().reset();
    host().calls().setEnabled(false);
    EXPECT_EQ(host().liveObjects(), 0u) << "host objects left alive";
    EXPECT_EQ(host().badHandles(), 0u) << "the plug-in used a handle it did not hold";
    parvolux_test_reset();
    EXPECT_EQ(parvolux_test_live_instances(), m_instancesBefore) << "a library instance was left";
}

bool EncoderTest::Create(size_t row) {
    m_session = std::make_unique<EncoderSession>(GetParam(), row);
    if (m_session->createCode() != errNone) {
        ADD_FAILURE() << "plugCreateObject for \"" << Table()[row].name << "\" answered "
                      << m_session->createCode();
        return false;
    }
    return true;
}

bool EncoderTest::Start(size_t row, uint32_t width, uint32_t height) {
    if (!Create(row)) return false;
    const int32_t callback = m_session->setCallback();
    const int32_t open = m_session->open(Settings(width, height));
    EXPECT_EQ(callback, errNone);
    EXPECT_EQ(open, errNone) << "open of \"" << Table()[row].name << "\" failed";
    EXPECT_FALSE(m_session->cookie().empty());
    return callback == errNone && open == errNone;
}

void EncoderTest::ClearRecords() {
    host().log().clear();
    host().calls().clear();
}

std::vector<std::string> EncoderTest::LogTexts() {
    std::vector<std::string> texts;
    for (const auto& entry : host().log().entries()) {
        EXPECT_EQ(entry.level, 0u) << entry.text;
        texts.push_back(entry.text);
    }
    return texts;
}

iohost::StreamSettings Settings(uint32_t width, uint32_t height) {
    iohost::StreamSettings settings;
    settings.width = width;
    settings.height = height;
    settings.dataRange = 1;
    settings.path = "out.avi";
    return settings;
}

std::string Hex16(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIX64,
                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

const void* DataOf(iohost::HostBuffer& buffer) {
    void* data = nullptr;
    uint64_t size = 0;
    if (buffer.lock(data, size) != errNone) return nullptr;
    (void)buffer.unlock();
    return data;
}
