// Plug-in objects over the bases, connected to the reference host without the module, and the
// fixture that checks that every one of them and every host object is gone after each test.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/iohost/host/host.h"
#include "tests/support/dispatch_call.h"

namespace bridge_test {

inline int g_liveObjects = 0;  // live doubles, so that tests see destruction
struct Counted {
    Counted() { ++g_liveObjects; }
    ~Counted() { --g_liveObjects; }
};

class TestCodec : public IOPlugin::IPluginCodecRef, Counted {
public:
    void Finish() override {}
    int32_t Configure(IOPlugin::HostPropertyCollectionRef& config) override {
        if (throwInConfigure) throw std::runtime_error("configure failed");
        lastHandle = config.Handle();
        return configureAnswer;
    }
    int32_t Open(IOPlugin::HostBufferRef& params) override {
        lastHandle = params.Handle();
        return errNone;
    }
    int32_t configureAnswer = errNone;
    bool throwInConfigure = false;
    void* lastHandle = nullptr;  // of the last Configure or Open
};

// A track that writes nothing, the kind the product never makes.
class TestTrack : public IOPlugin::IPluginTrackBase, Counted {};

class TestContainer : public IOPlugin::IPluginContainerRef, Counted {
public:
    int32_t Init(IOPlugin::HostPropertyCollectionRef&) override { return errNone; }
    int32_t Open(IOPlugin::HostPropertyCollectionRef&) override { return errNone; }
    int32_t AddTrack(IOPlugin::HostPropertyCollectionRef&, IOPlugin::HostPropertyCollectionRef&,
                     IOPlugin::IPluginObjRef**) override {
        return errNone;
    }
    int32_t Close() override { return errNone; }
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        IOPlugin::s_HostAPI = host().api();
        host().reset();
        host().calls().setEnabled(true);
        g_liveObjects = 0;
    }
    void TearDown() override {
        host().calls().setEnabled(false);
        EXPECT_EQ(g_liveObjects, 0);
        EXPECT_EQ(host().liveObjects(), 0u);
        EXPECT_EQ(host().badHandles(), 0u);
    }
    static iohost::Host& host() { return iohost::Host::instance(); }
};

}  // namespace bridge_test
