// A small plug-in module for testing the host. It keeps host handles only as long as the real
// one would, so the host's accounting sees the same shapes of traffic.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plugin/encoder/wrapper/iop_abi.h"
#include "tests/iohost/fake_plugin.h"

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

HostAPI s_host{0, nullptr};
std::atomic<uint32_t> s_liveObjects{0};
constexpr uint8_t kCollectionClass[16] = IOP_PROPERTY_COLLECTION_CLASS_ID;
constexpr uint8_t kBufferClass[16] = IOP_BUFFER_CLASS_ID;

template <class... Args>
int32_t Host(uint32_t selector, Args... args) {
    IopDispatchFn fn = s_host.dispatch;
    return fn(selector, args...);
}

void Log(const char* text) {
    (void)Host(hostLog, uint32_t{0}, text);
}

void HostAddRef(void* handle) {
    uint32_t count = 0;
    (void)Host(hostAddRef, handle, &count);
}

void HostRelease(void* handle) {
    uint32_t count = 0;
    if (handle != nullptr) (void)Host(hostRelease, handle, &count);
}

int32_t Set(void* handle, const char* key, uint32_t type, const void* data, uint32_t count) {
    return Host(hostSetProperty, handle, key, type, data, count);
}

template <class T>
bool GetScalar(void* handle, const char* key, uint32_t wantedType, T& out) {
    uint32_t type = 0, count = 0;
    const void* data = nullptr;
    if (Host(hostGetProperty, handle, key, &type, &data, &count) != errNone) return false;
    if (type != wantedType || count != 1) return false;
    std::memcpy(&out, data, sizeof out);
    return true;
}

bool GetInt32(void* handle, const char* key, int32_t& out) {
    return GetScalar(handle, key, propInt32, out);
}

bool GetInt64(void* handle, const char* key, int64_t& out) {
    return GetScalar(handle, key, propInt64, out);
}

void* Create(const uint8_t (&classId)[16], const char* failure) {
    void* handle = nullptr;
    if (Host(hostCreateObject, static_cast<const void*>(classId), &handle) != errNone) {
        Log(failure);
        return nullptr;
    }
    return handle;
}

class Object {
public:
    Object() { s_liveObjects.fetch_add(1); }
    virtual ~Object() { s_liveObjects.fetch_sub(1); }
    uint32_t AddRef() { return m_refs.fetch_add(1) + 1; }
    uint32_t Release() {
        const uint32_t n = m_refs.fetch_sub(1) - 1;
        if (n == 0) delete this;
        return n;
    }
    virtual int32_t Dispatch(uint32_t selector, va_list args) = 0;

private:
    std::atomic<uint32_t> m_refs{1};
};

class Encoder final : public Object {
public:
    ~Encoder() override { HostRelease(m_callback); }

    int32_t Dispatch(uint32_t selector, va_list args) override {
        switch (selector) {
            case codecConfigure:
                return va_arg(args, void*) == nullptr ? errInvalidParam : errNone;
            case codecOpen:
                return Open(va_arg(args, void*));
            case codecFinish:
                return errNone;
            case codecSetCallback: {
                void* callback = va_arg(args, void*);
                if (m_callback != nullptr) return errFail;
                if (callback != nullptr) HostAddRef(callback);
                m_callback = callback;
                return errNone;
            }
            case codecProcess:
                return Process(va_arg(args, void*));
            case codecQuery: {
                const int64_t value = va_arg(args, int64_t);
                auto* flag = va_arg(args, uint8_t*);
                *flag = 1;
                if (m_callback != nullptr) return Host(hostQuery, m_callback, value, flag);
                return errNone;
            }
            case codecQueryState:
                *va_arg(args, uint8_t*) = 0;
                return errNone;
            default:
                return errUnsupported;
        }
    }

private:
    int32_t Open(void* params) {
        if (params == nullptr) return errInvalidParam;
        int32_t width = 0, height = 0;
        if (!GetInt32(params, "width", width) || !GetInt32(params, "height", height))
            return errMissingProperty;
        const uint8_t cookie[4] = {'F', 'K', static_cast<uint8_t>(width),
                                   static_cast<uint8_t>(height)};
        (void)Set(params, "magicCookie", propUInt8, cookie, 4);
        return errNone;
    }

    int32_t Process(void* frame) {
        if (frame == nullptr) return errNoInput;
        void* in = nullptr;
        uint64_t inSize = 0;
        if (Host(hostBufferLock, frame, &in, &inSize) != errNone) return errFail;
        int64_t pts = 0;
        if (in == nullptr || inSize == 0 || !GetInt64(frame, "pts", pts)) {
            (void)Host(hostBufferUnlock, frame);
            return in == nullptr || inSize == 0 ? errUnsupported : errMissingProperty;
        }
        void* packet = Create(kBufferClass, "Plugin Failed to create a buffer");
        if (packet == nullptr || Host(hostBufferSetSize, packet, inSize) != errNone) {
            HostRelease(packet);
            (void)Host(hostBufferUnlock, frame);
            return errAlloc;
        }
        void* out = nullptr;
        uint64_t outSize = 0;
        if (Host(hostBufferLock, packet, &out, &outSize) != errNone || outSize != inSize) {
            HostRelease(packet);
            (void)Host(hostBufferUnlock, frame);
            return errAlloc;
        }
        for (uint64_t i = 0; i < inSize; ++i)
            static_cast<uint8_t*>(out)[i] =
                static_cast<uint8_t>(static_cast<const uint8_t*>(in)[i] + fake::kPacketOffset);
        (void)Host(hostBufferUnlock, frame);
        (void)Host(hostBufferUnlock, packet);
        const uint8_t key = 1;
        (void)Set(packet, "pts", propInt64, &pts, 1);
        (void)Set(packet, "dts", propInt64, &pts, 1);
        (void)Set(packet, "isKeyFrame", propUInt8, &key, 1);
        const int32_t code =
            m_callback != nullptr ? Host(hostDeliver, m_callback, packet) : errNoObject;
        HostRelease(packet);
        return code;
    }

    void* m_callback = nullptr;
};

class Container;

class Track final : public Object {
public:
    Track(Container* container, uint8_t index);
    ~Track() override;
    int32_t Dispatch(uint32_t selector, va_list args) override;

private:
    Container* m_container;
    uint8_t m_index;
};

// Writes each packet as [track index][32-bit little-endian size][bytes] to the file at "path".
class Container final : public Object {
public:
    ~Container() override { CloseFile(); }

    int32_t Dispatch(uint32_t selector, va_list args) override {
        switch (selector) {
            case contInit:
                return va_arg(args, void*) == nullptr ? errInvalidParam : errNone;
            case contAddTrack: {
                void* track = va_arg(args, void*);
                (void)va_arg(args, void*);
                auto** out = va_arg(args, void**);
                if (track == nullptr) return errInvalidParam;
                int32_t mediaType = 0;
                if (!GetInt32(track, "mediaType", mediaType) ||
                    (mediaType != iopMediaAudio && mediaType != iopMediaVideo))
                    return errInvalidParam;
                *out = new Track(this, m_tracks++);
                return errNone;
            }
            case contOpen:
                return Open(va_arg(args, void*));
            case contClose:
                CloseFile();
                return errNone;
            default:
                return errUnsupported;
        }
    }

    int32_t Write(uint8_t index, void* packet) {
        if (packet == nullptr) return errNone;
        if (m_file == nullptr) return errFail;
        void* data = nullptr;
        uint64_t size = 0;
        if (Host(hostBufferLock, packet, &data, &size) != errNone) return errNone;
        const uint8_t head[5] = {index, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                 static_cast<uint8_t>(size >> 16),
                                 static_cast<uint8_t>(size >> 24)};
        std::fwrite(head, 1, sizeof head, m_file);
        if (size != 0) std::fwrite(data, 1, static_cast<size_t>(size), m_file);
        (void)Host(hostBufferUnlock, packet);
        return errNone;
    }

private:
    int32_t Open(void* collection) {
        if (collection == nullptr) return errInvalidParam;
        uint32_t type = 0, count = 0;
        const void* data = nullptr;
        std::vector<char> path;
        if (Host(hostGetProperty, collection, "path", &type, &data, &count) == errNone &&
            type == propString)
            path.assign(static_cast<const char*>(data), static_cast<const char*>(data) + count);
        path.push_back('\0');
        CloseFile();
        m_file = std::fopen(path.data(), "wb");
        if (m_file == nullptr) {
            Log("fake: cannot open the output file");
            return errFail;
        }
        return errNone;
    }

    void CloseFile() {
        if (m_file != nullptr) std::fclose(m_file);
        m_file = nullptr;
    }

    std::FILE* m_file = nullptr;
    uint8_t m_tracks = 0;
};

Track::Track(Container* container, uint8_t index) : m_container(container), m_index(index) {
    m_container->AddRef();
}

Track::~Track() {
    m_container->Release();
}

int32_t Track::Dispatch(uint32_t selector, va_list args) {
    if (selector != trackWrite) return errUnsupported;
    return m_container->Write(m_index, va_arg(args, void*));
}

int32_t PublishCollection(void* list, void (*fill)(void*)) {
    void* collection = Create(kCollectionClass, "Plugin Failed to create a property bag");
    if (collection == nullptr) return errAlloc;
    fill(collection);
    const int32_t code =
        list != nullptr && Host(hostListAdd, list, collection) == errNone ? errNone : errFail;
    HostRelease(collection);
    return code;
}

void SetString(void* handle, const char* key, const char* text, bool countNul = false) {
    (void)Set(handle, key, propString, text,
              static_cast<uint32_t>(std::strlen(text) + (countNul ? 1 : 0)));
}

void SetInt32(void* handle, const char* key, int32_t value) {
    (void)Set(handle, key, propInt32, &value, 1);
}

void SetUInt8(void* handle, const char* key, uint8_t value) {
    (void)Set(handle, key, propUInt8, &value, 1);
}

void FillCodec(void* c, const fake::Id& id, const char* name, uint32_t fourcc, int32_t model,
               std::vector<uint8_t> ranges, uint8_t hSub, int32_t depth) {
    (void)Set(c, "uuid", propUInt8, id.data(), 16);
    SetString(c, "group", "FakeGroup");
    SetString(c, "name", name);
    SetInt32(c, "4cc", static_cast<int32_t>(fourcc));
    SetInt32(c, "mediaType", iopMediaVideo);
    SetInt32(c, "codecDirection", iopCodecEncoder);
    SetInt32(c, "colorModel", model);
    (void)Set(c, "dataRange", propUInt8, ranges.data(), static_cast<uint32_t>(ranges.size()));
    SetUInt8(c, "hSubsampling", hSub);
    SetUInt8(c, "vSubsampling", 1);
    SetInt32(c, "bitDepth", depth);
    SetInt32(c, "sampleBits", depth);
    SetUInt8(c, "fieldOrder", 7);
    SetString(c, "codecContainers", "fa4e00000000000000000000000000c0", true);
    SetUInt8(c, "isThreadSafe", 1);
}

int32_t ListCodecs(void* list) {
    int32_t code = PublishCollection(list, [](void* c) {
        FillCodec(c, fake::kRgbCodecId, "Fake RGB", fake::kRgbFourCC, 1, {1}, 1, 8);
    });
    if (code != errNone) return code;
    return PublishCollection(list, [](void* c) {
        FillCodec(c, fake::kYuvCodecId, "Fake YUV 422", fake::kYuvFourCC, 7, {0, 1}, 2, 16);
    });
}

int32_t ListContainers(void* list) {
    return PublishCollection(list, [](void* c) {
        (void)Set(c, "uuid", propUInt8, fake::kContainerId.data(), 16);
        SetString(c, "name", "Fake AVI");
        SetInt32(c, "mediaType", iopMediaContainer);
        SetString(c, "contExt", "avi");
    });
}

bool SameId(const void* id, const fake::Id& known) {
    return std::memcmp(id, known.data(), known.size()) == 0;
}

int32_t PluginDispatch(uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    int32_t code = errUnsupported;
    switch (selector) {
        case plugCreateObject: {
            const void* id = va_arg(args, const void*);
            auto** out = va_arg(args, void**);
            Object* object = nullptr;
            if (SameId(id, fake::kRgbCodecId) || SameId(id, fake::kYuvCodecId)) {
                object = new Encoder();
            } else if (SameId(id, fake::kContainerId)) {
                object = new Container();
            }
            if (object != nullptr) *out = object;
            code = object != nullptr ? errNone : errUnsupported;
            break;
        }
        case plugAddRef:
        case plugRelease: {
            auto* object = static_cast<Object*>(va_arg(args, void*));
            auto* count = va_arg(args, uint32_t*);
            if (object == nullptr || count == nullptr) {
                code = errInvalidParam;
                break;
            }
            *count = selector == plugAddRef ? object->AddRef() : object->Release();
            code = errNone;
            break;
        }
        case plugQueryCodec: {
            const void* id = va_arg(args, const void*);
            code = SameId(id, fake::kRgbCodecId) || SameId(id, fake::kYuvCodecId) ? errNone
                                                                                  : errNoCodec;
            break;
        }
        case plugNop1:
        case plugNop2:
            code = errNone;
            break;
        case plugListCodecs:
            code = ListCodecs(va_arg(args, void*));
            break;
        case plugListContainers:
            code = ListContainers(va_arg(args, void*));
            break;
        case plugGetInfo: {
            void* collection = va_arg(args, void*);
            if (collection == nullptr) {
                code = errInvalidParam;
                break;
            }
            code = Set(collection, "uuid", propUInt8, fake::kPluginId.data(), 16);
            if (code == errNone) code = Set(collection, "name", propString, "FakePlug", 8);
            break;
        }
        case codecConfigure:
        case codecOpen:
        case codecFinish:
        case codecSetCallback:
        case codecProcess:
        case codecQuery:
        case codecQueryState:
        case contInit:
        case contOpen:
        case contAddTrack:
        case contClose:
        case trackWrite: {
            auto* object = static_cast<Object*>(va_arg(args, void*));
            code = object == nullptr ? errInvalidParam : object->Dispatch(selector, args);
            break;
        }
        case fake::fakeLog:
            Log(va_arg(args, const char*));
            code = errNone;
            break;
        case fake::fakeLiveObjects:
            *va_arg(args, uint32_t*) = s_liveObjects.load();
            code = errNone;
            break;
        case fake::fakeLeakBuffer:
            code = Create(kBufferClass, "Plugin Failed to create a buffer") != nullptr ? errNone
                                                                                       : errAlloc;
            break;
        default:
            break;
    }
    va_end(args);
    return code;
}

// Reports the module's static tear-down to the host, so a test can see the unload happen.
struct UnloadReporter {
    ~UnloadReporter() {
        if (s_host.version != 0 && s_host.dispatch != nullptr) Log(fake::kUnloadMessage);
    }
} s_unloadReporter;

}  // namespace

FAKE_EXPORT int32_t pluginInit(const HostAPI* host, PluginAPI* plugin) {
    plugin->version = 1;
    if (host->version == 0) return errVersion;
    std::memcpy(&s_host, host, sizeof s_host);
    plugin->dispatch = &PluginDispatch;
    return errNone;
}
