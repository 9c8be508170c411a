// Typed references to host objects. The plug-in never passes a bare host handle around in its
// own logic: each handle lives in one reference object that owns exactly one host reference and
// drops it in its destructor. References belong to the thread that builds them and are never
// copied. Every host call goes through s_HostAPI, which pluginInit fills once.
#pragma once

#include <cstdint>
#include <string>

#include "log/printf_format.h"
#include "plugin/encoder/wrapper/iop_abi.h"

namespace IOPlugin {

// The host record kept by pluginInit; all zero until then, read without a lock afterwards.
extern HostAPI s_HostAPI;

inline constexpr uint8_t kPropertyCollectionClassId[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;
inline constexpr uint8_t kBufferClassId[16] = IOP_BUFFER_CLASS_ID;

// Base of every host reference: holds one handle (or none) and one host reference to it.
class IHostObjRef {
public:
    // Wraps a handle lent by the host for the length of a call: takes a host reference unless
    // the handle is null.
    explicit IHostObjRef(void* lentHandle);
    virtual ~IHostObjRef();

    IHostObjRef(const IHostObjRef&) = delete;
    IHostObjRef& operator=(const IHostObjRef&) = delete;

    void* Handle() const { return m_hostObj; }
    bool IsEmpty() const { return m_hostObj == nullptr; }

protected:
    // Makes a new host object of the class and adopts its handle (the creation reference);
    // on refusal reports `failureMessage` and keeps whatever handle the host left.
    void CreateObject(const uint8_t (&classId)[16], const char* failureMessage);

    void* m_hostObj;
};

// Typed access to the properties of a host object. Callers zero the outputs of GetProperty and
// use the value only on errNone with the type and count they expect.
class IPropertyProvider {
public:
    virtual int32_t GetProperty(const char* key, uint32_t* type, const void** data,
                                uint32_t* count) = 0;
    // The host copies the value; the caller's storage may go at once.
    virtual int32_t SetProperty(const char* key, uint32_t type, const void* data,
                                uint32_t count) = 0;

protected:
    ~IPropertyProvider() = default;
};

// A host property collection.
class HostPropertyCollectionRef : public IHostObjRef, public IPropertyProvider {
public:
    explicit HostPropertyCollectionRef(void* lentHandle = nullptr) : IHostObjRef(lentHandle) {}

    int32_t GetProperty(const char* key, uint32_t* type, const void** data,
                        uint32_t* count) override;
    int32_t SetProperty(const char* key, uint32_t type, const void* data, uint32_t count) override;

    // On an empty reference: a new collection. Callers treat an empty reference afterwards as
    // errAlloc (the refusal has been reported as "Plugin Failed to create a property bag").
    void Create();
};

// A host buffer: a block of bytes that also carries properties. Lock and SetSize are called only
// on references that hold a handle. A locked buffer stays locked until Unlock; the destructor
// does not unlock.
class HostBufferRef : public IHostObjRef, public IPropertyProvider {
public:
    explicit HostBufferRef(void* lentHandle = nullptr) : IHostObjRef(lentHandle) {}

    int32_t GetProperty(const char* key, uint32_t* type, const void** data,
                        uint32_t* count) override;
    int32_t SetProperty(const char* key, uint32_t type, const void* data, uint32_t count) override;

    // On an empty reference: a new buffer ("Plugin Failed to create a buffer" on refusal).
    void Create();
    [[nodiscard]] int32_t Lock(void** data, uint64_t* size);
    [[nodiscard]] int32_t SetSize(uint64_t size);
    bool Unlock();
};

// A host list; it takes its own reference to every item appended.
class HostListRef : public IHostObjRef {
public:
    explicit HostListRef(void* lentHandle = nullptr) : IHostObjRef(lentHandle) {}

    [[nodiscard]] bool Append(const IHostObjRef& item);
};

// The host's receiver of a codec's output.
class HostCodecCallbackRef : public IHostObjRef {
public:
    explicit HostCodecCallbackRef(void* lentHandle = nullptr) : IHostObjRef(lentHandle) {}

    int32_t Deliver(const HostBufferRef& buffer);
    bool Query(int64_t value);
};

// Reads a string property: false (string untouched) unless the host answers errNone with
// propString; then the string becomes exactly `count` bytes (a counted NUL stays in it), or
// empty for a count that is not above 0 as a signed number.
bool GetStringProperty(IPropertyProvider& provider, const char* key, std::string& value);

// Formats into 4096 bytes (at most 4094 characters are kept) and sends the text to the host's log.
int32_t HostLog(uint32_t level, const char* format, ...) PARVOLUX_PRINTF_FORMAT(2, 3);

}  // namespace IOPlugin
