// The reference host: the registry of live host objects, the log, the call record and the fault
// switches, and the C dispatch function through which a plug-in reaches all of them.
//
// There is one host per process (Host::instance()), because hostDispatch is a plain C function
// and the plug-in keeps only its address. Handles are validated against the registry on every
// call, so a plug-in that uses a handle it never got or already released gets errNoObject (and
// the host counts a bad handle) instead of corrupting memory. Tests end with liveObjects() == 0
// and badHandles() == 0.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/iohost/host/call_record.h"
#include "platform/iohost/host/host_faults.h"
#include "platform/iohost/host/host_log.h"
#include "platform/iohost/host/host_objects.h"
#include "plugin/encoder/wrapper/iop_abi.h"

extern "C" {
// The host dispatch function handed to pluginInit: every host selector, with the argument C
// types of iop_abi.h. Never lets an exception out.
int32_t hostDispatch(uint32_t selector, ...);
}

namespace iohost {

template <class T>
class HostRef;

inline constexpr uint32_t kHostInterfaceVersion = 1;

class Host {
public:
    static Host& instance();

    // The record to pass to pluginInit.
    [[nodiscard]] HostAPI api(uint32_t version = kHostInterfaceVersion) const;

    // New objects with one reference, owned by the returned holder.
    [[nodiscard]] HostRef<PropertyCollection> createCollection();
    [[nodiscard]] HostRef<HostBuffer> createBuffer();
    [[nodiscard]] HostRef<HostList> createList();
    [[nodiscard]] HostRef<CodecCallback> createCallback();

    // Host-side reference counting, as hostAddRef / hostRelease do it. Both answer errNone with
    // the new count, or errNoObject for a handle that is not live (counted as a bad handle).
    // The last release retires the object and drops the references a list holds.
    [[nodiscard]] int32_t addRef(void* handle, uint32_t* count = nullptr);
    [[nodiscard]] int32_t release(void* handle, uint32_t* count = nullptr);
    // The live object behind a handle (pinned by the returned pointer), or null.
    [[nodiscard]] std::shared_ptr<HostObject> find(void* handle) const;

    // Appends `item` to `list`, taking a host reference to the item; errNoObject when either is
    // not live. No fault switch applies.
    [[nodiscard]] int32_t append(HostList& list, void* item);

    [[nodiscard]] size_t liveObjects() const;
    [[nodiscard]] size_t liveObjects(ObjectKind kind) const;
    [[nodiscard]] uint64_t badHandles() const { return m_badHandles.load(); }

    HostLog& log() { return m_log; }
    CallRecord& calls() { return m_calls; }
    HostFaults& faults() { return m_faults; }

    // Clears the faults, the log, the call record (and switches recording off) and the
    // bad-handle count: the state of a fresh host, save for live objects, which stay.
    void reset();

    // The body of hostDispatch.
    [[nodiscard]] int32_t dispatch(uint32_t selector, va_list args);

private:
    Host() = default;
    template <class T>
    HostRef<T> adopt(std::shared_ptr<T> object);
    void registerObject(std::shared_ptr<HostObject> object);
    std::shared_ptr<HostObject> lookup(void* handle);  // counts a bad handle on a miss
    int32_t createFromClassId(const uint8_t* classId, void** out);
    // The object of a plug-in's handle when it is of one of `kinds`; counts a bad handle if not.
    template <class T>
    std::shared_ptr<T> typed(void* handle, std::initializer_list<ObjectKind> kinds);
    // One host selector each, with its C arguments.
    int32_t callCreateObject(uint32_t selector, va_list args);
    int32_t callReference(uint32_t selector, va_list args);
    int32_t callLog(uint32_t selector, va_list args);
    int32_t callSetProperty(uint32_t selector, va_list args);
    int32_t callGetProperty(uint32_t selector, va_list args);
    int32_t callListAdd(uint32_t selector, va_list args);
    int32_t callSetSize(uint32_t selector, va_list args);
    int32_t callLock(uint32_t selector, va_list args);
    int32_t callUnlock(uint32_t selector, va_list args);
    int32_t callDeliver(uint32_t selector, va_list args);
    int32_t callQuery(uint32_t selector, va_list args);

    mutable std::mutex m_mutex;
    std::unordered_map<const void*, std::shared_ptr<HostObject>> m_live;
    std::atomic<uint64_t> m_badHandles{0};
    HostLog m_log;
    CallRecord m_calls;
    HostFaults m_faults;
};

// Owns one host reference to an object of type T and drops it on destruction; move-only. The
// C++ side's counterpart of the plug-in's reference classes.
template <class T>
class HostRef {
public:
    HostRef() = default;
    HostRef(HostRef&& other) noexcept : m_object(std::move(other.m_object)) {}
    HostRef& operator=(HostRef&& other) noexcept {
        if (this != &other) {
            reset();
            m_object = std::move(other.m_object);
        }
        return *this;
    }
    ~HostRef() { reset(); }

    // Takes an extra host reference to `object` (which must be live).
    static HostRef share(const std::shared_ptr<T>& object) {
        HostRef ref;
        if (object && Host::instance().addRef(object->handle()) == errNone) ref.m_object = object;
        return ref;
    }

    void reset() {
        if (m_object) {
            (void)Host::instance().release(m_object->handle());
            m_object.reset();
        }
    }

    [[nodiscard]] T* get() const { return m_object.get(); }
    [[nodiscard]] T* operator->() const { return m_object.get(); }
    [[nodiscard]] T& operator*() const { return *m_object; }
    [[nodiscard]] explicit operator bool() const { return m_object != nullptr; }
    [[nodiscard]] void* handle() const { return m_object ? m_object->handle() : nullptr; }
    [[nodiscard]] const std::shared_ptr<T>& shared() const { return m_object; }

private:
    friend class Host;
    explicit HostRef(std::shared_ptr<T> object) : m_object(std::move(object)) {}
    std::shared_ptr<T> m_object;
};

}  // namespace iohost
