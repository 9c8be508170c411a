// The encoder tests drive the module's encoders as a host does. Besides the module fixture's
// clean start and leak checks, a test may hold one encoder whose callback records every packet;
// the encoder is released before the module goes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/iohost/driver/encoder.h"
#include "plugin/encoder/format_table.h"
#include "tests/support/module_fixture.h"

// The format table as the product builds it.
inline const std::vector<FormatDesc>& Table() {
    static const std::vector<FormatDesc> table = BuildFormatTable();
    return table;
}

// What the host saw of one delivered packet.
struct Packet {
    std::vector<uint8_t> bytes;
    std::optional<int64_t> pts;
    std::optional<int64_t> dts;
    std::optional<uint8_t> isKeyFrame;
    bool lockedWhenDelivered = false;
};

// Gives `encoder` a callback that appends each packet to `packets` and answers errNone.
[[nodiscard]] inline int32_t RecordPackets(iohost::Encoder& encoder, std::vector<Packet>& packets) {
    return encoder.setCallback([&packets](iohost::HostRef<iohost::HostBuffer> buffer) {
        packets.push_back({buffer->contents(), buffer->getInt64("pts"), buffer->getInt64("dts"),
                           buffer->getUInt8("isKeyFrame"), buffer->isLocked()});
        return static_cast<int32_t>(errNone);
    });
}

[[nodiscard]] inline iohost::StreamSettings Settings(uint32_t width, uint32_t height) {
    iohost::StreamSettings settings;
    settings.width = width;
    settings.height = height;
    settings.dataRange = 1;
    return settings;
}

// The texts the plug-in logged; every one must have been sent at level 0.
[[nodiscard]] inline std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    for (const auto& entry : iohost::Host::instance().log().entries()) {
        EXPECT_EQ(entry.level, 0u) << entry.text;
        texts.push_back(entry.text);
    }
    return texts;
}

// The data pointer of a host buffer, as the plug-in sees it when it locks the buffer.
[[nodiscard]] inline const void* DataOf(iohost::HostBuffer& buffer) {
    void* data = nullptr;
    uint64_t size = 0;
    if (buffer.lock(data, size) != errNone) return nullptr;
    (void)buffer.unlock();
    return data;
}

class EncoderTest : public module_test::ModuleTest {
protected:
    void TearDown() override {
        host().faults().reset();
        host().calls().setEnabled(false);
        m_encoder.reset();
        ModuleTest::TearDown();
    }

    // A new encoder for table row `row`, with the recording callback unless told otherwise;
    // false (with the reason reported) when refused.
    [[nodiscard]] bool Create(size_t row, bool withCallback = true) {
        m_packets.clear();
        m_row = row;
        m_encoder.emplace();
        const int32_t code = driver().createEncoder(Table().at(row).uuid, *m_encoder);
        EXPECT_EQ(code, errNone) << "plugCreateObject for \"" << Table()[row].name << "\"";
        const int32_t callback = withCallback ? RecordPackets(*m_encoder, m_packets) : errNone;
        EXPECT_EQ(callback, errNone);
        return code == errNone && callback == errNone;
    }
    // Create, then an open at this size that publishes a cookie of bytes.
    [[nodiscard]] bool Start(size_t row, uint32_t width, uint32_t height) {
        if (!Create(row)) return false;
        EXPECT_EQ(m_encoder->open(Settings(width, height)), errNone) << Table()[row].name;
        const auto cookie = m_encoder->params()->value("magicCookie");
        EXPECT_TRUE(cookie && cookie->type == propUInt8 && !cookie->bytes.empty() &&
                    cookie->count == cookie->bytes.size());
        return !m_encoder->cookie().empty();
    }

    [[nodiscard]] iohost::Encoder& encoder() { return *m_encoder; }
    [[nodiscard]] const FormatDesc& row() const { return Table().at(m_row); }
    [[nodiscard]] int32_t process(iohost::HostBuffer& frame) { return m_encoder->process(frame); }

    // Empties the host's log and call record, and records host calls from now on.
    static void ClearRecords() {
        host().log().clear();
        host().calls().clear();
        host().calls().setEnabled(true);
    }

    std::vector<Packet> m_packets;

private:
    std::optional<iohost::Encoder> m_encoder;
    size_t m_row = 0;
};
