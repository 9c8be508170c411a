// Test doubles for the bridge: concrete plug-in objects over the bases, connected to the
// reference host directly (the module's export is not involved).
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

#include "platform/iohost/host.h"
#include "plugin/encoder/wrapper/plugin_api.h"

namespace bridge_test {

// Points the plug-in side's host record at the reference host.
void ConnectToReferenceHost();

// Calls an object's Dispatch as PluginDispatch does: the arguments after the selector.
int32_t Send(IOPlugin::IPluginObjRef* object, uint32_t selector, ...);

// Counts live instances of the doubles so tests can see destruction.
extern int g_liveObjects;

class TestCodec : public IOPlugin::IPluginCodecRef {
public:
    TestCodec() { ++g_liveObjects; }
    ~TestCodec() override { --g_liveObjects; }

    void Finish() override { ++finishCalls; }
    int32_t Configure(IOPlugin::HostPropertyCollectionRef& config) override {
        ++configureCalls;
        if (throwInConfigure) throw std::runtime_error("configure failed");
        lastHandle = config.Handle();
        return configureAnswer;
    }
    int32_t Open(IOPlugin::HostBufferRef& params) override {
        ++openCalls;
        lastHandle = params.Handle();
        return errNone;
    }
    IOPlugin::HostCodecCallbackRef* Callback() const { return m_pCallback; }
    uint32_t RefCount() const { return m_refCount.load(); }

    int finishCalls = 0;
    int configureCalls = 0;
    int openCalls = 0;
    int32_t configureAnswer = errNone;
    bool throwInConfigure = false;
    void* lastHandle = nullptr;
};

class TestTrack;

class TestContainer : public IOPlugin::IPluginContainerRef {
public:
    TestContainer() { ++g_liveObjects; }
    ~TestContainer() override { --g_liveObjects; }

    int32_t Init(IOPlugin::HostPropertyCollectionRef&) override { return ++initCalls, errNone; }
    int32_t Open(IOPlugin::HostPropertyCollectionRef&) override { return ++openCalls, errNone; }
    int32_t AddTrack(IOPlugin::HostPropertyCollectionRef& track,
                     IOPlugin::HostPropertyCollectionRef& codec,
                     IOPlugin::IPluginObjRef** out) override;
    int32_t Close() override { return errNone; }
    uint32_t RefCount() const { return m_refCount.load(); }

    int initCalls = 0;
    int openCalls = 0;
    int32_t addTrackAnswer = errNone;
    bool codecWasEmpty = false;
    bool writerTracks = true;
};

// A track that keeps its container alive; a writer unless made otherwise.
class TestTrack : public IOPlugin::IPluginTrackBase {
public:
    explicit TestTrack(TestContainer* container);
    ~TestTrack() override { --g_liveObjects; }
};

class TestWriterTrack : public TestTrack, public IOPlugin::IPluginTrackWriter {
public:
    using TestTrack::TestTrack;
    int32_t WritePacket(IOPlugin::HostBufferRef* packet) override {
        ++packets;
        lastPacketWasNull = packet == nullptr;
        return errNone;
    }
    int packets = 0;
    bool lastPacketWasNull = false;
};

}  // namespace bridge_test
