#include "platform/iohost/host/host_objects.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/iohost/host/block_pool.h"
#include "platform/iohost/host/host.h"

namespace iohost {

uint32_t PropertyElementSize(uint32_t type) {
    switch (type) {
        case propUInt8:
        case propString:
            return 1;
        case propInt32:
            return 4;
        case propInt64:
            return 8;
        default:
            return 0;
    }
}

namespace {

// Host-side setters are only ever given well-formed values; a refusal is a host bug.
void Require(int32_t code, const std::string& key) {
    if (code != errNone) throw std::logic_error("iohost: cannot set property \"" + key + "\"");
}

template <class T>
std::optional<T> ReadScalar(const std::optional<PropertyValue>& v, uint32_t type) {
    if (!v || v->type != type || v->count != 1) return std::nullopt;
    T out;
    std::memcpy(&out, v->bytes.data(), sizeof out);
    return out;
}

}  // namespace

int32_t PropertyStore::set(const std::string& key, uint32_t type, const void* data,
                           uint32_t count) {
    const uint32_t elementSize = PropertyElementSize(type);
    if (elementSize == 0) return errUnsupported;
    if (data == nullptr && count != 0) return errInvalidParam;
    auto value = std::make_unique<PropertyValue>();
    value->type = type;
    value->count = count;
    const size_t byteCount = size_t{elementSize} * count;
    // One spare zero byte: the stored bytes are never empty (get() answers a non-null pointer)
    // and a string's bytes can be read as a C string.
    value->bytes.assign(byteCount + 1, 0);
    if (byteCount != 0) std::memcpy(value->bytes.data(), data, byteCount);
    value->bytes.resize(byteCount);
    std::lock_guard lock(m_mutex);
    m_values[key] = std::move(value);
    return errNone;
}

int32_t PropertyStore::get(const std::string& key, uint32_t& type, const void*& data,
                           uint32_t& count) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end()) return errMissingProperty;
    const PropertyValue& v = *it->second;
    type = v.type;
    count = v.count;
    // resize() kept the capacity, so data() points at storage even for an empty value.
    data = v.bytes.data();
    return errNone;
}

void PropertyStore::setUInt8(const std::string& key, uint8_t value) {
    Require(set(key, propUInt8, &value, 1), key);
}

void PropertyStore::setBytes(const std::string& key, std::span<const uint8_t> bytes) {
    Require(set(key, propUInt8, bytes.data(), static_cast<uint32_t>(bytes.size())), key);
}

void PropertyStore::setInt32(const std::string& key, int32_t value) {
    Require(set(key, propInt32, &value, 1), key);
}

void PropertyStore::setInt32s(const std::string& key, std::span<const int32_t> values) {
    Require(set(key, propInt32, values.data(), static_cast<uint32_t>(values.size())), key);
}

void PropertyStore::setInt64(const std::string& key, int64_t value) {
    Require(set(key, propInt64, &value, 1), key);
}

void PropertyStore::setString(const std::string& key, const std::string& text, bool countNul) {
    const auto count = static_cast<uint32_t>(text.size() + (countNul ? 1 : 0));
    Require(set(key, propString, text.c_str(), count), key);
}

std::optional<PropertyValue> PropertyStore::value(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end()) return std::nullopt;
    return *it->second;
}

bool PropertyStore::has(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    return m_values.count(key) != 0;
}

std::vector<std::string> PropertyStore::keys() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    out.reserve(m_values.size());
    for (const auto& entry : m_values) out.push_back(entry.first);
    return out;
}

std::optional<uint8_t> PropertyStore::getUInt8(const std::string& key) const {
    return ReadScalar<uint8_t>(value(key), propUInt8);
}

std::optional<int32_t> PropertyStore::getInt32(const std::string& key) const {
    return ReadScalar<int32_t>(value(key), propInt32);
}

std::optional<int64_t> PropertyStore::getInt64(const std::string& key) const {
    return ReadScalar<int64_t>(value(key), propInt64);
}

std::optional<std::vector<uint8_t>> PropertyStore::getBytes(const std::string& key) const {
    auto v = value(key);
    if (!v || v->type != propUInt8) return std::nullopt;
    return std::move(v->bytes);
}

std::optional<std::string> PropertyStore::getString(const std::string& key) const {
    auto v = value(key);
    if (!v || v->type != propString) return std::nullopt;
    return std::string(v->bytes.begin(), v->bytes.end());
}

HostBuffer::~HostBuffer() {
    BlockPool::shared().give({std::move(m_bytes), m_capacity});
}

bool HostBuffer::reserve(size_t size) {
    if (size <= m_capacity && m_bytes) return true;
    const size_t wanted = std::max<size_t>(size, 1);  // a non-null block even when empty
    BlockPool::Block grown = BlockPool::shared().take(wanted);
    if (!grown.bytes) {
        try {
            grown = {std::make_unique_for_overwrite<uint8_t[]>(wanted), wanted};
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    if (m_size != 0) std::memcpy(grown.bytes.get(), m_bytes.get(), m_size);
    BlockPool::shared().give({std::move(m_bytes), m_capacity});
    m_bytes = std::move(grown.bytes);
    m_capacity = grown.capacity;
    return true;
}

int32_t HostBuffer::setSize(uint64_t size) {
    std::lock_guard lock(m_bufMutex);
    if (m_lockDepth != 0) return errFail;
    if (size > static_cast<uint64_t>(PTRDIFF_MAX) || !reserve(static_cast<size_t>(size)))
        return errAlloc;
    m_size = static_cast<size_t>(size);
    return errNone;
}

int32_t HostBuffer::lock(void*& data, uint64_t& size) {
    std::lock_guard lock(m_bufMutex);
    if (!reserve(m_size)) return errAlloc;
    ++m_lockDepth;
    data = m_bytes.get();
    size = m_size;
    return errNone;
}

int32_t HostBuffer::unlock() {
    std::lock_guard lock(m_bufMutex);
    if (m_lockDepth == 0) return errFail;
    --m_lockDepth;
    return errNone;
}

uint64_t HostBuffer::size() const {
    std::lock_guard lock(m_bufMutex);
    return m_size;
}

bool HostBuffer::isLocked() const {
    return lockDepth() != 0;
}

uint32_t HostBuffer::lockDepth() const {
    std::lock_guard lock(m_bufMutex);
    return m_lockDepth;
}

std::vector<uint8_t> HostBuffer::contents() const {
    std::lock_guard lock(m_bufMutex);
    return {m_bytes.get(), m_bytes.get() + m_size};
}

int32_t HostBuffer::assign(std::span<const uint8_t> bytes) {
    std::lock_guard lock(m_bufMutex);
    if (m_lockDepth != 0) return errFail;
    m_size = 0;  // nothing of the old bytes is kept, so growing copies none
    if (!reserve(bytes.size())) return errAlloc;
    if (!bytes.empty()) std::memcpy(m_bytes.get(), bytes.data(), bytes.size());
    m_size = bytes.size();
    return errNone;
}

size_t HostList::size() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

std::vector<std::shared_ptr<HostObject>> HostList::items() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}

std::vector<std::shared_ptr<PropertyCollection>> HostList::collections() const {
    std::vector<std::shared_ptr<PropertyCollection>> out;
    for (auto& item : items()) {
        if (item->kind() == ObjectKind::PropertyCollection)
            out.push_back(std::static_pointer_cast<PropertyCollection>(item));
    }
    return out;
}

void HostList::append(std::shared_ptr<HostObject> item) {
    std::lock_guard lock(m_mutex);
    m_items.push_back(std::move(item));
}

std::vector<std::shared_ptr<HostObject>> HostList::takeItems() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_items, {});
}

void CodecCallback::setSink(Sink sink) {
    auto shared = sink ? std::make_shared<Sink>(std::move(sink)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_sink = std::move(shared);
}

void CodecCallback::setQueryAnswer(bool answer) {
    std::lock_guard lock(m_mutex);
    m_queryAnswer = answer;
}

int32_t CodecCallback::deliver(const std::shared_ptr<HostBuffer>& packet) {
    std::shared_ptr<Sink> sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (!sink) return errNone;
    auto ref = HostRef<HostBuffer>::share(packet);
    return ref ? (*sink)(std::move(ref)) : errFail;
}

bool CodecCallback::query(int64_t value) {
    std::lock_guard lock(m_mutex);
    m_lastQuery = value;
    return m_queryAnswer;
}

std::optional<int64_t> CodecCallback::lastQueryValue() const {
    std::lock_guard lock(m_mutex);
    return m_lastQuery;
}

}  // namespace iohost
