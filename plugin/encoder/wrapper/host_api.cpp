#include "plugin/encoder/wrapper/host_api.h"

#include <cstdarg>
#include <cstdio>

#include "plugin/encoder/wrapper/plugin_assert.h"

namespace IOPlugin {

HostAPI s_HostAPI = {};

namespace {

constexpr const char* kSourceFile = "plugin/encoder/wrapper/host_api";

IopDispatchFn HostDispatch() {
    PARVOLUX_ASSERT(s_HostAPI.version != 0, kSourceFile);
    return s_HostAPI.dispatch;
}

int32_t GetHostProperty(void* handle, const char* key, uint32_t* type, const void** data,
                        uint32_t* count) {
    if (handle == nullptr) return errNoObject;
    return HostDispatch()(hostGetProperty, handle, key, type, data, count);
}

int32_t SetHostProperty(void* handle, const char* key, uint32_t type, const void* data,
                        uint32_t count) {
    if (handle == nullptr) return errNoObject;
    return HostDispatch()(hostSetProperty, handle, key, type, data, count);
}

}  // namespace

IHostObjRef::IHostObjRef(void* lentHandle) : m_hostObj(lentHandle) {
    if (m_hostObj != nullptr) {
        uint32_t count = 0;
        const int32_t err = HostDispatch()(hostAddRef, m_hostObj, &count);
        PARVOLUX_ASSERT(err == errNone, kSourceFile);
    }
}

IHostObjRef::~IHostObjRef() {
    if (m_hostObj != nullptr) {
        uint32_t count = 0;
        const int32_t err = HostDispatch()(hostRelease, m_hostObj, &count);
        PARVOLUX_ASSERT(err == errNone, kSourceFile);
    }
}

void IHostObjRef::CreateObject(const uint8_t (&classId)[16], const char* failureMessage) {
    void* handle = nullptr;
    const int32_t err = HostDispatch()(hostCreateObject, classId, &handle);
    m_hostObj = handle;
    if (err != errNone) HostLog(0, "%s", failureMessage);
}

int32_t HostPropertyCollectionRef::GetProperty(const char* key, uint32_t* type, const void** data,
                                               uint32_t* count) {
    return GetHostProperty(m_hostObj, key, type, data, count);
}

int32_t HostPropertyCollectionRef::SetProperty(const char* key, uint32_t type, const void* data,
                                               uint32_t count) {
    return SetHostProperty(m_hostObj, key, type, data, count);
}

void HostPropertyCollectionRef::Create() {
    CreateObject(kPropertyCollectionClassId, "Plugin Failed to create a property bag");
}

int32_t HostBufferRef::GetProperty(const char* key, uint32_t* type, const void** data,
                                   uint32_t* count) {
    return GetHostProperty(m_hostObj, key, type, data, count);
}

int32_t HostBufferRef::SetProperty(const char* key, uint32_t type, const void* data,
                                   uint32_t count) {
    return SetHostProperty(m_hostObj, key, type, data, count);
}

void HostBufferRef::Create() {
    CreateObject(kBufferClassId, "Plugin Failed to create a buffer");
}

int32_t HostBufferRef::Lock(void** data, uint64_t* size) {
    return HostDispatch()(hostBufferLock, m_hostObj, data, size);
}

int32_t HostBufferRef::SetSize(uint64_t size) {
    return HostDispatch()(hostBufferSetSize, m_hostObj, size);
}

bool HostBufferRef::Unlock() {
    if (m_hostObj == nullptr) return false;
    return HostDispatch()(hostBufferUnlock, m_hostObj) == errNone;
}

bool HostListRef::Append(const IHostObjRef& item) {
    if (m_hostObj == nullptr) return false;
    return HostDispatch()(hostListAdd, m_hostObj, item.Handle()) == errNone;
}

int32_t HostCodecCallbackRef::Deliver(const HostBufferRef& buffer) {
    if (m_hostObj == nullptr) return errNoObject;
    return HostDispatch()(hostDeliver, m_hostObj, buffer.Handle());
}

bool HostCodecCallbackRef::Query(int64_t value) {
    uint8_t flag = 1;
    HostDispatch()(hostQuery, m_hostObj, value, &flag);
    return flag != 0;
}

bool GetStringProperty(IPropertyProvider& provider, const char* key, std::string& value) {
    uint32_t type = 0;
    const void* data = nullptr;
    uint32_t count = 0;
    if (provider.GetProperty(key, &type, &data, &count) != errNone || type != propString) {
        return false;
    }
    const auto length = static_cast<int32_t>(count);
    if (length > 0 && data != nullptr) {
        value.assign(static_cast<const char*>(data), static_cast<size_t>(length));
    } else {
        value.clear();
    }
    return true;
}

int32_t HostLog(uint32_t level, const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, 4095, format, args);
    va_end(args);
    return HostDispatch()(hostLog, level, static_cast<const char*>(text));
}

}  // namespace IOPlugin
