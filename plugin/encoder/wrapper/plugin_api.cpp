#include "plugin/encoder/wrapper/plugin_api.h"

#include "plugin/encoder/wrapper/plugin_assert.h"

namespace IOPlugin {

namespace {
// Arguments are read with va_arg in the function that owns the list: on Windows a va_list passed
// to a helper is a copy, and the caller's position would not move.
constexpr const char* kSourceFile = "plugin/encoder/wrapper/plugin_api";
}  // namespace

int32_t IPluginObjRef::DispatchReferenceCount(uint32_t selector, va_list args) {
    auto* count = va_arg(args, uint32_t*);
    if (count == nullptr) return errInvalidParam;
    *count = selector == plugAddRef ? AddRef() : Release();
    return errNone;
}

uint32_t IPluginObjRef::AddRef() {
    return m_refCount.fetch_add(1) + 1;
}

uint32_t IPluginObjRef::Release() {
    const uint32_t count = m_refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

IPluginCodecRef::~IPluginCodecRef() {
    delete m_pCallback;
}

int32_t IPluginCodecRef::Dispatch(uint32_t selector, va_list args) {
    switch (selector) {
        case plugAddRef:
        case plugRelease:
            return DispatchReferenceCount(selector, args);
        case codecConfigure: {
            HostPropertyCollectionRef config(va_arg(args, void*));
            if (config.IsEmpty()) return errInvalidParam;
            return Configure(config);
        }
        case codecOpen: {
            HostBufferRef params(va_arg(args, void*));
            return Open(params);
        }
        case codecFinish:
            Finish();
            return errNone;
        case codecSetCallback:
            return SetCallback(va_arg(args, void*));
        case codecProcess: {
            HostBufferRef frame(va_arg(args, void*));
            return DoProcess(frame);
        }
        case codecQuery: {
            const int64_t value = va_arg(args, int64_t);
            auto* flag = va_arg(args, uint8_t*);
            const uint8_t answer = OnQuery(value) ? 1 : 0;
            if (flag != nullptr) *flag = answer;
            return errNone;
        }
        case codecQueryState: {
            auto* flag = va_arg(args, uint8_t*);
            const uint8_t answer = OnQueryState() ? 1 : 0;
            if (flag != nullptr) *flag = answer;
            return errNone;
        }
        default:
            return errUnsupported;
    }
}

int32_t IPluginCodecRef::SetCallback(void* callbackHandle) {
    PARVOLUX_ASSERT(m_pCallback == NULL, kSourceFile);
    m_pCallback = new HostCodecCallbackRef(callbackHandle);
    return errNone;
}

int32_t IPluginCodecRef::DeliverOutput(HostBufferRef& buffer) {
    if (m_pCallback == nullptr) return errInvalidParam;
    return m_pCallback->Deliver(buffer);
}

bool IPluginCodecRef::QueryHost(int64_t value) {
    if (m_pCallback == nullptr) return true;
    return m_pCallback->Query(value);
}

bool IPluginCodecRef::OnQuery(int64_t) {
    return true;
}

bool IPluginCodecRef::OnQueryState() {
    return false;
}

int32_t IPluginCodecRef::DoProcess(HostBufferRef& frame) {
    if (m_pCallback == nullptr || m_pCallback->IsEmpty()) return errNoObject;
    return m_pCallback->Deliver(frame);
}

// Containers and tracks leave reference counting to PluginDispatch: selectors 2 and 3 are as
// unknown to them as any other.
int32_t IPluginContainerRef::Dispatch(uint32_t selector, va_list args) {
    switch (selector) {
        case contInit:
        case contOpen: {
            HostPropertyCollectionRef props(va_arg(args, void*));
            if (props.IsEmpty()) return errInvalidParam;
            return selector == contInit ? Init(props) : Open(props);
        }
        case contAddTrack: {
            HostPropertyCollectionRef trackProps(va_arg(args, void*));
            HostPropertyCollectionRef codecProps(va_arg(args, void*));
            auto** out = va_arg(args, IPluginObjRef**);
            if (trackProps.IsEmpty() || out == nullptr) return errInvalidParam;
            *out = nullptr;
            IPluginObjRef* track = nullptr;
            const int32_t result = AddTrack(trackProps, codecProps, &track);
            if (result == errNone && track != nullptr) *out = track;
            return result;
        }
        case contClose:
            return Close();
        default:
            return errUnsupported;
    }
}

IPluginTrackBase::~IPluginTrackBase() {
    if (m_pContainer != nullptr) {
        m_pContainer->Release();
        m_pContainer = nullptr;
    }
}

int32_t IPluginTrackBase::Dispatch(uint32_t selector, va_list args) {
    switch (selector) {
        case trackWrite: {
            HostBufferRef packet(va_arg(args, void*));
            auto* writer = dynamic_cast<IPluginTrackWriter*>(this);
            if (writer == nullptr) return errUnsupported;
            return writer->WritePacket(packet.IsEmpty() ? nullptr : &packet);
        }
        default:
            return errUnsupported;
    }
}

}  // namespace IOPlugin
