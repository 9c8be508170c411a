// One encoder object as the tests drive it, reached by either of two routes:
//   Direct: a ParvoluxEncoder made by the test from the plug-in code linked into it, with the
//           plug-in's host record pointing at the reference host;
//   Module: the real module loaded by the reference host, the object made by plugCreateObject.
// Both routes send the same selectors with the same host objects, so every scenario runs on both.
// A session owns the object, its callback (which captures every packet delivered) and the
// settings buffer of the last open; release() drops them all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/iohost/encoder.h"
#include "platform/iohost/host.h"
#include "plugin/encoder/format_table.h"

enum class Route { Direct, Module };

[[nodiscard]] std::string RouteName(Route route);

// The format table as the product builds it.
[[nodiscard]] const std::vector<FormatDesc>& Table();

// What the host saw of one delivered packet.
struct Packet {
    std::vector<uint8_t> bytes;
    std::optional<int64_t> pts;
    std::optional<int64_t> dts;
    std::optional<uint8_t> isKeyFrame;
    bool lockedWhenDelivered = false;
    std::vector<std::string> keys;  // every property the packet carries
};

class EncoderObject {
public:
    virtual ~EncoderObject() = default;
    [[nodiscard]] virtual int32_t send(uint32_t selector, void* handle) = 0;
    [[nodiscard]] virtual int32_t send(uint32_t selector) = 0;
    // Where the object lives, for checking addresses that the plug-in renders in texts.
    [[nodiscard]] virtual const void* address() const = 0;
};

class EncoderSession {
public:
    EncoderSession(Route route, size_t row);
    ~EncoderSession();
    EncoderSession(const EncoderSession&) = delete;
    EncoderSession& operator=(const EncoderSession&) = delete;

    // The factory's answer; the session is usable only when it is errNone.
    [[nodiscard]] int32_t createCode() const { return m_createCode; }
    [[nodiscard]] EncoderObject& object() { return *m_object; }
    [[nodiscard]] const FormatDesc& row() const { return m_row; }

    // A new callback whose sink records each packet and answers errNone.
    [[nodiscard]] int32_t setCallback();
    // A new settings buffer with every key of `settings`, then codecOpen.
    [[nodiscard]] int32_t open(const iohost::StreamSettings& settings);
    // codecOpen with a buffer the caller filled (kept until the next open).
    [[nodiscard]] int32_t openWith(iohost::HostRef<iohost::HostBuffer> params);
    [[nodiscard]] iohost::HostBuffer* params() const { return m_params.get(); }
    // "magicCookie" as the last successful open left it on its settings buffer.
    [[nodiscard]] const std::vector<uint8_t>& cookie() const { return m_cookie; }

    [[nodiscard]] int32_t process(iohost::HostBuffer& frame);
    [[nodiscard]] int32_t processNull();
    [[nodiscard]] const std::vector<Packet>& packets() const { return m_packets; }
    void clearPackets() { m_packets.clear(); }

    // Drops the object first, then the host objects the session holds.
    void release();

private:
    FormatDesc m_row;
    int32_t m_createCode = errFail;
    std::unique_ptr<EncoderObject> m_object;
    iohost::HostRef<iohost::CodecCallback> m_callback;
    iohost::HostRef<iohost::HostBuffer> m_params;
    std::vector<uint8_t> m_cookie;
    std::vector<Packet> m_packets;
};

// A frame buffer with "width", "height" and "pts" set.
[[nodiscard]] iohost::HostRef<iohost::HostBuffer> MakeFrame(const std::vector<uint8_t>& bytes,
                                                            uint32_t width, uint32_t height,
                                                            int64_t pts);
