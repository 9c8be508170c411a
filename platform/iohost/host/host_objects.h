// The objects the reference host lends to a plug-in: property collections, buffers, lists and
// codec callbacks. The plug-in sees each one as an opaque handle (the object's address) and
// drives it through hostDispatch; tests, the driver and the command line use the C++ operations
// below directly.
//
// Every object carries an atomic host-side reference count, 1 at creation. The object is
// retired from the host's registry when that count reaches 0 (see Host); its storage lives on
// while a C++ holder (std::shared_ptr) still has it, so a late call through a stale handle is
// caught as a bad handle instead of touching freed memory.
//
// All operations are thread-safe: each object guards its own state with its own mutex, and no
// lock is held while a codec callback runs its sink.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plugin/encoder/wrapper/iop_abi.h"

namespace iohost {

enum class ObjectKind { PropertyCollection, Buffer, List, CodecCallback };

// Bytes of one value of a property type code; 0 for a code the host does not know.
[[nodiscard]] uint32_t PropertyElementSize(uint32_t type);

class HostObject {
public:
    virtual ~HostObject() = default;
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    [[nodiscard]] ObjectKind kind() const { return m_kind; }
    // The handle the plug-in sees.
    [[nodiscard]] void* handle() { return this; }
    [[nodiscard]] uint32_t refCount() const { return m_refs.load(); }

protected:
    explicit HostObject(ObjectKind kind) : m_kind(kind) {}

private:
    friend class Host;
    const ObjectKind m_kind;
    std::atomic<uint32_t> m_refs{1};
};

// One stored property: the type code, the value count and a private copy of the bytes.
struct PropertyValue {
    uint32_t type = 0;
    uint32_t count = 0;
    std::vector<uint8_t> bytes;  // count * element size bytes

    bool operator==(const PropertyValue&) const = default;
};

// Key -> typed value, shared by collections and buffers. Values are copied in. A pointer handed
// out by get() stays valid until that key is set again or the object dies: each value owns its
// storage, and storage is replaced only by a later set() of the same key.
class PropertyStore : public HostObject {
public:
    // errNone; errInvalidParam for a null key or null data with a nonzero count;
    // errUnsupported for an unknown type code.
    [[nodiscard]] int32_t set(const std::string& key, uint32_t type, const void* data,
                              uint32_t count);
    // errNone with the stored value; errMissingProperty when the key is not set. `data` is never
    // null on success, even for a count of 0.
    [[nodiscard]] int32_t get(const std::string& key, uint32_t& type, const void*& data,
                              uint32_t& count) const;

    // Host-side conveniences (the plug-in uses set/get through hostDispatch). The setters assert
    // success: their arguments are always well-formed.
    void setUInt8(const std::string& key, uint8_t value);
    void setBytes(const std::string& key, std::span<const uint8_t> bytes);
    void setInt32(const std::string& key, int32_t value);
    void setInt32s(const std::string& key, std::span<const int32_t> values);
    void setInt64(const std::string& key, int64_t value);
    // The count is the text's length, plus one when `countNul` (the NUL is then stored too).
    void setString(const std::string& key, const std::string& text, bool countNul = false);

    [[nodiscard]] std::optional<PropertyValue> value(const std::string& key) const;
    [[nodiscard]] bool has(const std::string& key) const;
    [[nodiscard]] std::vector<std::string> keys() const;  // sorted
    // Typed reads: a value only when the stored type matches and the count is as named.
    [[nodiscard]] std::optional<uint8_t> getUInt8(const std::string& key) const;
    [[nodiscard]] std::optional<int32_t> getInt32(const std::string& key) const;
    [[nodiscard]] std::optional<int64_t> getInt64(const std::string& key) const;
    [[nodiscard]] std::optional<std::vector<uint8_t>> getBytes(
        const std::string& key) const;  // propUInt8, any count
    // propString, any count; the bytes exactly as counted (a counted NUL stays in).
    [[nodiscard]] std::optional<std::string> getString(const std::string& key) const;

protected:
    using HostObject::HostObject;

private:
    mutable std::mutex m_mutex;
    // Each value on the heap of its own, so rehashing or inserting other keys never moves it.
    std::map<std::string, std::unique_ptr<PropertyValue>> m_values;
};

class PropertyCollection final : public PropertyStore {
public:
    PropertyCollection() : PropertyStore(ObjectKind::PropertyCollection) {}
};

// A block of bytes with a lock state and properties of its own. Locks nest: lock() counts up,
// unlock() counts down. The block cannot be resized while locked, so a pointer from lock() stays
// valid until the matching unlock(). A buffer may die locked (the plug-in may drop a buffer it
// never unlocked); that is allowed.
class HostBuffer final : public PropertyStore {
public:
    HostBuffer() : PropertyStore(ObjectKind::Buffer) {}
    // Its memory goes to BlockPool, for the next buffer.
    ~HostBuffer() override;

    // errNone; errFail while locked; errAlloc for a size memory cannot hold.
    [[nodiscard]] int32_t setSize(uint64_t size);
    // errNone with the block's address (never null, even when empty) and size.
    [[nodiscard]] int32_t lock(void*& data, uint64_t& size);
    // errNone; errFail when not locked.
    [[nodiscard]] int32_t unlock();

    [[nodiscard]] uint64_t size() const;
    [[nodiscard]] bool isLocked() const;
    [[nodiscard]] uint32_t lockDepth() const;
    [[nodiscard]] std::vector<uint8_t> contents() const;
    // Replaces the bytes (and size); errFail while locked, errAlloc when memory runs out.
    [[nodiscard]] int32_t assign(std::span<const uint8_t> bytes);

private:
    // Makes room for `size` bytes, keeping the first m_size; false when memory runs out.
    [[nodiscard]] bool reserve(size_t size);

    mutable std::mutex m_bufMutex;
    // Grown without zero-filling: a host owes the plug-in no particular contents in a buffer it
    // has just sized, and filling a frame-sized packet buffer that the codec then overwrites
    // costs as much as a good part of the compression.
    std::unique_ptr<uint8_t[]> m_bytes;
    size_t m_size = 0;
    size_t m_capacity = 0;
    uint32_t m_lockDepth = 0;
};

// A list of host objects. The list holds one host reference to each item from append() until
// the list itself dies, when Host drops them.
class HostList final : public HostObject {
public:
    HostList() : HostObject(ObjectKind::List) {}

    [[nodiscard]] size_t size() const;
    [[nodiscard]] std::vector<std::shared_ptr<HostObject>> items() const;
    // Items that are property collections, in list order (what registration publishes).
    [[nodiscard]] std::vector<std::shared_ptr<PropertyCollection>> collections() const;

private:
    friend class Host;
    void append(std::shared_ptr<HostObject> item);
    std::vector<std::shared_ptr<HostObject>> takeItems();

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<HostObject>> m_items;
};

template <class T>
class HostRef;

// The receiver of a codec's packets. deliver() hands each buffer to the sink with a reference of
// its own (the sink may keep it) and answers the sink's code (errNone without a sink, errFail when
// the buffer is already retired). query() answers a flag chosen by the test or driver.
class CodecCallback final : public HostObject {
public:
    using Sink = std::function<int32_t(HostRef<HostBuffer> packet)>;

    CodecCallback() : HostObject(ObjectKind::CodecCallback) {}

    void setSink(Sink sink);
    void setQueryAnswer(bool answer);

    [[nodiscard]] int32_t deliver(const std::shared_ptr<HostBuffer>& packet);
    [[nodiscard]] bool query(int64_t value);

    [[nodiscard]] std::optional<int64_t> lastQueryValue() const;

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<Sink> m_sink;  // copied out under the lock, run without it
    bool m_queryAnswer = true;
    std::optional<int64_t> m_lastQuery;
};

}  // namespace iohost
