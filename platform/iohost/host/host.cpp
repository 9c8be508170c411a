#include "platform/iohost/host/host.h"

#include <cstring>
#include <new>
#include <shared_mutex>
#include <utility>

namespace iohost {

namespace {

constexpr uint8_t kCollectionClassId[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;
constexpr uint8_t kBufferClassId[16] = IOP_BUFFER_CLASS_ID;

// Lookups share the registry lock; only retiring an object and registering one take it
// exclusively. A count never climbs back from 0, so an object that a release has retired cannot
// be revived by a concurrent addRef that found it a moment earlier.
std::shared_mutex& RegistryLock() {
    static std::shared_mutex lock;
    return lock;
}

bool TryIncrement(std::atomic<uint32_t>& refs, uint32_t& result) {
    uint32_t current = refs.load();
    do {
        if (current == 0) return false;
    } while (!refs.compare_exchange_weak(current, current + 1));
    result = current + 1;
    return true;
}

}  // namespace

Host& Host::instance() {
    static Host host;
    return host;
}

HostAPI Host::api(uint32_t version) const {
    HostAPI record;
    record.version = version;
    record.dispatch = &hostDispatch;
    return record;
}

void Host::registerObject(std::shared_ptr<HostObject> object) {
    std::unique_lock lock(RegistryLock());
    const void* key = object->handle();
    m_live.emplace(key, std::move(object));
}

template <class T>
HostRef<T> Host::adopt(std::shared_ptr<T> object) {
    registerObject(object);
    return HostRef<T>(std::move(object));
}

HostRef<PropertyCollection> Host::createCollection() {
    return adopt(std::make_shared<PropertyCollection>());
}

HostRef<HostBuffer> Host::createBuffer() {
    return adopt(std::make_shared<HostBuffer>());
}

HostRef<HostList> Host::createList() {
    return adopt(std::make_shared<HostList>());
}

HostRef<CodecCallback> Host::createCallback() {
    return adopt(std::make_shared<CodecCallback>());
}

std::shared_ptr<HostObject> Host::find(void* handle) const {
    if (handle == nullptr) return nullptr;
    std::shared_lock lock(RegistryLock());
    auto it = m_live.find(handle);
    if (it == m_live.end() || it->second->m_refs.load() == 0) return nullptr;
    return it->second;
}

std::shared_ptr<HostObject> Host::lookup(void* handle) {
    auto object = find(handle);
    if (!object) m_badHandles.fetch_add(1);
    return object;
}

int32_t Host::addRef(void* handle, uint32_t* count) {
    if (handle == nullptr) return errInvalidParam;
    std::shared_lock lock(RegistryLock());
    auto it = m_live.find(handle);
    uint32_t result = 0;
    if (it == m_live.end() || !TryIncrement(it->second->m_refs, result)) {
        m_badHandles.fetch_add(1);
        return errNoObject;
    }
    if (count != nullptr) *count = result;
    return errNone;
}

int32_t Host::release(void* handle, uint32_t* count) {
    if (handle == nullptr) return errInvalidParam;
    std::shared_ptr<HostObject> retired;
    uint32_t result = 0;
    {
        std::shared_lock lock(RegistryLock());
        auto it = m_live.find(handle);
        if (it == m_live.end()) {
            m_badHandles.fetch_add(1);
            return errNoObject;
        }
        std::atomic<uint32_t>& refs = it->second->m_refs;
        uint32_t current = refs.load();
        do {
            if (current == 0) {  // a concurrent release got there first: one too many
                m_badHandles.fetch_add(1);
                return errNoObject;
            }
        } while (!refs.compare_exchange_weak(current, current - 1));
        result = current - 1;
        if (result == 0) retired = it->second;
    }
    if (retired) {
        {
            std::unique_lock lock(RegistryLock());
            m_live.erase(handle);
        }
        // Outside the registry lock: dropping a list's items may retire them in turn.
        if (retired->kind() == ObjectKind::List) {
            for (auto& item : static_cast<HostList&>(*retired).takeItems())
                (void)release(item->handle());
        }
    }
    if (count != nullptr) *count = result;
    return errNone;
}

int32_t Host::append(HostList& list, void* item) {
    auto object = lookup(item);
    if (!object || !find(list.handle())) return errNoObject;
    if (addRef(item) != errNone) return errNoObject;
    list.append(std::move(object));
    return errNone;
}

size_t Host::liveObjects() const {
    std::shared_lock lock(RegistryLock());
    return m_live.size();
}

size_t Host::liveObjects(ObjectKind kind) const {
    std::shared_lock lock(RegistryLock());
    size_t n = 0;
    for (const auto& entry : m_live) n += entry.second->kind() == kind ? 1 : 0;
    return n;
}

void Host::reset() {
    m_faults.reset();
    m_log.clear();
    m_calls.setEnabled(false);
    m_calls.clear();
    m_badHandles.store(0);
}

int32_t Host::createFromClassId(const uint8_t* classId, void** out) {
    if (classId == nullptr || out == nullptr) return errInvalidParam;
    const bool collection = std::memcmp(classId, kCollectionClassId, 16) == 0;
    const bool buffer = std::memcmp(classId, kBufferClassId, 16) == 0;
    if (!collection && !buffer) return errUnsupported;
    if (auto code = m_faults.onCreate()) return *code;
    std::shared_ptr<HostObject> object;
    if (collection) {
        object = std::make_shared<PropertyCollection>();
    } else {
        object = std::make_shared<HostBuffer>();
    }
    *out = object->handle();
    registerObject(std::move(object));
    return errNone;
}

namespace {

// The live object behind a handle as the type a selector needs; a live object of the wrong
// kind is as much a plug-in bug as a dead one.
template <class T>
std::shared_ptr<T> As(const std::shared_ptr<HostObject>& object,
                      std::initializer_list<ObjectKind> kinds) {
    if (!object) return nullptr;
    for (ObjectKind kind : kinds) {
        if (object->kind() == kind) return std::static_pointer_cast<T>(object);
    }
    return nullptr;
}

}  // namespace

namespace {

constexpr std::initializer_list<ObjectKind> kStores = {ObjectKind::PropertyCollection,
                                                       ObjectKind::Buffer};

}  // namespace

template <class T>
std::shared_ptr<T> Host::typed(void* handle, std::initializer_list<ObjectKind> kinds) {
    auto object = As<T>(find(handle), kinds);
    if (!object) m_badHandles.fetch_add(1);
    return object;
}

int32_t Host::callCreateObject(uint32_t selector, va_list args) {
    const auto* classId = va_arg(args, const uint8_t*);
    auto** out = va_arg(args, void**);
    m_calls.add(selector, nullptr);
    return createFromClassId(classId, out);
}

int32_t Host::callReference(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    auto* count = va_arg(args, uint32_t*);
    m_calls.add(selector, handle);
    return selector == hostAddRef ? addRef(handle, count) : release(handle, count);
}

int32_t Host::callLog(uint32_t selector, va_list args) {
    const uint32_t level = va_arg(args, uint32_t);
    const char* text = va_arg(args, const char*);
    m_calls.add(selector, nullptr);
    if (text == nullptr) return errInvalidParam;
    m_log.append(level, text);
    return errNone;
}

int32_t Host::callSetProperty(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    const char* key = va_arg(args, const char*);
    const uint32_t type = va_arg(args, uint32_t);
    const void* data = va_arg(args, const void*);
    const uint32_t count = va_arg(args, uint32_t);
    m_calls.add(selector, handle, key);
    if (handle == nullptr || key == nullptr) return errInvalidParam;
    auto store = typed<PropertyStore>(handle, kStores);
    if (!store) return errNoObject;
    if (auto code = m_faults.onSetProperty(key)) return *code;
    return store->set(key, type, data, count);
}

int32_t Host::callGetProperty(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    const char* key = va_arg(args, const char*);
    auto* outType = va_arg(args, uint32_t*);
    auto* outData = va_arg(args, const void**);
    auto* outCount = va_arg(args, uint32_t*);
    m_calls.add(selector, handle, key);
    if (handle == nullptr || key == nullptr || outType == nullptr || outData == nullptr ||
        outCount == nullptr)
        return errInvalidParam;
    auto store = typed<PropertyStore>(handle, kStores);
    if (!store) return errNoObject;
    if (auto code = m_faults.onCall(HostOperation::Get)) return *code;
    return store->get(key, *outType, *outData, *outCount);
}

int32_t Host::callListAdd(uint32_t selector, va_list args) {
    void* listHandle = va_arg(args, void*);
    void* item = va_arg(args, void*);
    m_calls.add(selector, listHandle);
    if (listHandle == nullptr || item == nullptr) return errInvalidParam;
    auto list = typed<HostList>(listHandle, {ObjectKind::List});
    if (!list) return errNoObject;
    if (auto code = m_faults.onAppend()) return *code;
    return append(*list, item);
}

int32_t Host::callSetSize(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    const uint64_t size = va_arg(args, uint64_t);
    m_calls.add(selector, handle);
    if (handle == nullptr) return errInvalidParam;
    auto buffer = typed<HostBuffer>(handle, {ObjectKind::Buffer});
    if (!buffer) return errNoObject;
    if (auto code = m_faults.onSetSize()) return *code;
    return buffer->setSize(size);
}

int32_t Host::callLock(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    auto** outData = va_arg(args, void**);
    auto* outSize = va_arg(args, uint64_t*);
    m_calls.add(selector, handle);
    if (handle == nullptr || outData == nullptr || outSize == nullptr) return errInvalidParam;
    auto buffer = typed<HostBuffer>(handle, {ObjectKind::Buffer});
    if (!buffer) return errNoObject;
    if (auto code = m_faults.onLock()) return *code;
    void* data = nullptr;
    uint64_t size = 0;
    const int32_t code = buffer->lock(data, size);
    if (code != errNone) return code;
    *outData = m_faults.lockNull() ? nullptr : data;
    *outSize = m_faults.lockZero() ? 0 : size;
    return errNone;
}

int32_t Host::callUnlock(uint32_t selector, va_list args) {
    void* handle = va_arg(args, void*);
    m_calls.add(selector, handle);
    if (handle == nullptr) return errInvalidParam;
    auto buffer = typed<HostBuffer>(handle, {ObjectKind::Buffer});
    if (!buffer) return errNoObject;
    if (auto code = m_faults.onCall(HostOperation::Unlock)) return *code;
    return buffer->unlock();
}

int32_t Host::callDeliver(uint32_t selector, va_list args) {
    void* callbackHandle = va_arg(args, void*);
    void* bufferHandle = va_arg(args, void*);
    m_calls.add(selector, callbackHandle);
    if (callbackHandle == nullptr || bufferHandle == nullptr) return errInvalidParam;
    auto callback = typed<CodecCallback>(callbackHandle, {ObjectKind::CodecCallback});
    auto buffer = typed<HostBuffer>(bufferHandle, {ObjectKind::Buffer});
    if (!callback || !buffer) return errNoObject;
    if (auto code = m_faults.onDeliver()) return *code;
    return callback->deliver(buffer);
}

int32_t Host::callQuery(uint32_t selector, va_list args) {
    void* callbackHandle = va_arg(args, void*);
    const int64_t value = va_arg(args, int64_t);
    auto* flag = va_arg(args, uint8_t*);
    m_calls.add(selector, callbackHandle);
    if (callbackHandle == nullptr || flag == nullptr) return errInvalidParam;
    auto callback = typed<CodecCallback>(callbackHandle, {ObjectKind::CodecCallback});
    if (!callback) return errNoObject;
    *flag = callback->query(value) ? 1 : 0;
    return errNone;
}

int32_t Host::dispatch(uint32_t selector, va_list args) {
    switch (selector) {
        case hostCreateObject:
            return callCreateObject(selector, args);
        case hostAddRef:
        case hostRelease:
            return callReference(selector, args);
        case hostLog:
            return callLog(selector, args);
        case hostSetProperty:
            return callSetProperty(selector, args);
        case hostGetProperty:
            return callGetProperty(selector, args);
        case hostListAdd:
            return callListAdd(selector, args);
        case hostBufferSetSize:
            return callSetSize(selector, args);
        case hostBufferLock:
            return callLock(selector, args);
        case hostBufferUnlock:
            return callUnlock(selector, args);
        case hostDeliver:
            return callDeliver(selector, args);
        case hostQuery:
            return callQuery(selector, args);
        default:
            m_calls.add(selector, nullptr);
            return errUnsupported;
    }
}

}  // namespace iohost

extern "C" int32_t hostDispatch(uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    int32_t code;
    try {
        code = iohost::Host::instance().dispatch(selector, args);
    } catch (const std::bad_alloc&) {
        code = errAlloc;
    } catch (...) {
        code = errFail;
    }
    va_end(args);
    return code;
}
