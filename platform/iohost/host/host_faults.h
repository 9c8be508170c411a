// Fault switches of the reference host, so that tests can drive a plug-in down its failure
// paths. They act only on calls that arrive through hostDispatch (the plug-in's calls); the
// C++ operations used by the driver and tests are never refused. Every switch is thread-safe and
// stays set until it is used up or reset() clears it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "plugin/encoder/wrapper/iop_abi.h"

namespace iohost {

// The host operations a fault sweep can target.
enum class HostOperation : uint8_t {
    Create,   // hostCreateObject
    Set,      // hostSetProperty
    Get,      // hostGetProperty
    Lock,     // hostBufferLock
    Unlock,   // hostBufferUnlock
    SetSize,  // hostBufferSetSize
    Append,   // hostListAdd
    Deliver,  // hostDeliver
};
inline constexpr size_t kHostOperationCount = 8;

class HostFaults {
public:
    // The next `n` object creations answer errAlloc and create nothing.
    void refuseCreations(uint32_t n);
    // The next `n` list appends answer errFail and append nothing.
    void refuseListAppends(uint32_t n);
    // Every hostSetProperty of `key` answers errFail and stores nothing.
    void refuseSetProperty(const std::string& key);
    // Every hostBufferLock / hostBufferSetSize answers errFail.
    void failBufferLock(bool on);
    void failBufferSetSize(bool on);
    // hostBufferLock answers errNone but with a null pointer / a size of 0 (the buffer is
    // locked all the same, so the plug-in must still unlock it).
    void lockWithNullPointer(bool on);
    void lockWithZeroSize(bool on);
    // hostDeliver answers `code` without running the sink; nullopt restores normal delivery.
    void deliverAnswer(std::optional<int32_t> code);
    // The n-th call (1 = the next one) of `op` from now answers `code` and does nothing else;
    // the switch is then used up. One pending sweep per operation; setting it again replaces it.
    void failNth(HostOperation op, uint32_t n, int32_t code = errFail);

    void reset();

    // Consulted by the host, once per call, in the order the host needs them. Each answers the
    // code to fail with, or nullopt to go on.
    [[nodiscard]] std::optional<int32_t> onCall(HostOperation op);
    [[nodiscard]] std::optional<int32_t> onCreate();
    [[nodiscard]] std::optional<int32_t> onAppend();
    [[nodiscard]] std::optional<int32_t> onSetProperty(const std::string& key);
    [[nodiscard]] std::optional<int32_t> onLock();
    [[nodiscard]] std::optional<int32_t> onSetSize();
    [[nodiscard]] std::optional<int32_t> onDeliver();
    [[nodiscard]] bool lockNull() const;
    [[nodiscard]] bool lockZero() const;

private:
    struct Sweep {
        uint32_t remaining = 0;  // 0: not armed
        int32_t code = errFail;
    };

    mutable std::mutex m_mutex;
    uint32_t m_refuseCreations = 0;
    uint32_t m_refuseAppends = 0;
    std::set<std::string> m_refusedKeys;
    bool m_failLock = false;
    bool m_failSetSize = false;
    bool m_lockNull = false;
    bool m_lockZero = false;
    std::optional<int32_t> m_deliverAnswer;
    std::array<Sweep, kHostOperationCount> m_sweeps{};
};

}  // namespace iohost
