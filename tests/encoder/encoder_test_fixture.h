// The fixture of the encoder tests: each test runs once per route (Direct, Module), starts from
// a clean host (no faults, empty log and call record) and a library with every control off, and
// must end with no live host object, no bad handle and no open library instance.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/parvolux_common64/parvolux_test_controls.h"
#include "tests/encoder/encoder_session.h"

class EncoderTest : public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new encoder for `row`; false (with the reason reported) when the factory refused.
    [[nodiscard]] bool Create(size_t row);
    // Create, give it a callback and open it at this size.
    [[nodiscard]] bool Start(size_t row, uint32_t width, uint32_t height);

    EncoderSession& session() { return *m_session; }
    static iohost::Host& host() { return iohost::Host::instance(); }
    // Empties the host's log and call record (faults and accounting stay).
    static void ClearRecords();
    // The texts the plug-in sent to the host's log; every one must have been sent at level 0.
    [[nodiscard]] static std::vector<std::string> LogTexts();

    std::unique_ptr<EncoderSession> m_session;
    int32_t m_instancesBefore = 0;
};

[[nodiscard]] iohost::StreamSettings Settings(uint32_t width, uint32_t height);

// Sixteen upper-case hexadecimal digits of an address, as the plug-in renders it.
[[nodiscard]] std::string Hex16(const void* p);

// The data pointer of a host buffer, as the plug-in sees it when it locks the buffer.
[[nodiscard]] const void* DataOf(iohost::HostBuffer& buffer);

#define INSTANTIATE_ON_BOTH_ROUTES(suite)                                                    \
    INSTANTIATE_TEST_SUITE_P(Routes, suite, ::testing::Values(Route::Direct, Route::Module), \
                             [](const ::testing::TestParamInfo<Route>& routeInfo) {          \
                                 return RouteName(routeInfo.param);                          \
                             })
