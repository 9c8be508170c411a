// Shared by the codec tests: the library's controls put back to normal around every test, and
// the hexadecimal form of an address as the diagnostic texts write it.
#pragma once

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/parvolux_common64/parvolux_test_controls.h"

inline std::string Hex16(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIX64,
                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

class LibraryControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        parvolux_test_reset();
        m_liveBefore = parvolux_test_live_instances();
    }
    void TearDown() override {
        parvolux_test_reset();
        EXPECT_EQ(parvolux_test_live_instances(), m_liveBefore) << "an instance was left open";
    }

    int32_t m_liveBefore = 0;
};
