// Bases of the plug-in's own objects. The host holds codecs, containers and tracks as opaque
// pointers and drives them through object selectors; PluginDispatch hands each call to the
// object's Dispatch, which wraps lent host handles in references for the length of the call and
// calls a virtual operation that the concrete classes supply.
//
// Objects are created on the heap with a reference count of 1, owned by whoever created them
// (normally the host), and destroy themselves at the Release that brings the count to 0.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "plugin/encoder/wrapper/host_api.h"

namespace IOPlugin {

class IPluginObjRef {
public:
    IPluginObjRef() = default;
    IPluginObjRef(const IPluginObjRef&) = delete;
    IPluginObjRef& operator=(const IPluginObjRef&) = delete;

    // Atomic, sequentially consistent: references may be taken and dropped on any thread, and
    // exactly one Release sees the count reach 0.
    virtual uint32_t AddRef();
    virtual uint32_t Release();
    // `args` is positioned just after the object pointer; the object reads its own arguments.
    virtual int32_t Dispatch(uint32_t selector, va_list args) = 0;
    virtual ~IPluginObjRef() = default;

protected:
    // Selectors 2 and 3 for direct callers (PluginDispatch answers them itself): the count goes
    // to the out-pointer that follows.
    int32_t DispatchReferenceCount(uint32_t selector, va_list args);

    std::atomic<uint32_t> m_refCount{1};
};

// A codec: takes its host callback once, then frames through DoProcess.
class IPluginCodecRef : public IPluginObjRef {
public:
    int32_t Dispatch(uint32_t selector, va_list args) override;
    ~IPluginCodecRef() override;

    virtual int32_t SetCallback(void* callbackHandle);
    virtual int32_t DeliverOutput(HostBufferRef& buffer);
    virtual bool QueryHost(int64_t value);
    virtual bool OnQuery(int64_t value);
    virtual bool OnQueryState();
    virtual void Finish() = 0;
    virtual int32_t Configure(HostPropertyCollectionRef& config) = 0;
    // `params` carries the stream's settings as properties.
    virtual int32_t Open(HostBufferRef& params) = 0;
    // Default for a codec that passes frames through: delivers the very buffer it was given.
    virtual int32_t DoProcess(HostBufferRef& frame);

protected:
    HostCodecCallbackRef* m_pCallback = nullptr;
};

// A container: tracks are added before Open; Close finalizes.
class IPluginContainerRef : public IPluginObjRef {
public:
    int32_t Dispatch(uint32_t selector, va_list args) override;

    virtual int32_t Init(HostPropertyCollectionRef& props) = 0;
    virtual int32_t Open(HostPropertyCollectionRef& props) = 0;
    // `codecProps` may be empty. On success `*track` receives a track holding one reference
    // for the caller.
    virtual int32_t AddTrack(HostPropertyCollectionRef& trackProps,
                             HostPropertyCollectionRef& codecProps, IPluginObjRef** track) = 0;
    virtual int32_t Close() = 0;
};

// A track of a container; it keeps its container alive through one counted reference.
class IPluginTrackBase : public IPluginObjRef {
public:
    int32_t Dispatch(uint32_t selector, va_list args) override;
    ~IPluginTrackBase() override;

protected:
    IPluginContainerRef* m_pContainer = nullptr;
};

// Implemented by tracks that accept packets; `packet` is null when the host passed no buffer.
class IPluginTrackWriter {
public:
    virtual int32_t WritePacket(HostBufferRef* packet) = 0;

protected:
    ~IPluginTrackWriter() = default;
};

}  // namespace IOPlugin
