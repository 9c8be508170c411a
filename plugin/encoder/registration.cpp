#include "plugin/encoder/registration.h"

// Until the codecs and the container are registered, every registration question answers
// errUnsupported.
namespace Registration {

int32_t CreateObject(const uint8_t*, IOPlugin::IPluginObjRef**) {
    return errUnsupported;
}
int32_t QueryCodec(const uint8_t*, IOPlugin::HostPropertyCollectionRef&, IOPlugin::HostListRef&) {
    return errUnsupported;
}
int32_t ListCodecs(IOPlugin::HostListRef&) {
    return errUnsupported;
}
int32_t ListContainers(IOPlugin::HostListRef&) {
    return errUnsupported;
}
int32_t GetInfo(IOPlugin::HostPropertyCollectionRef&) {
    return errUnsupported;
}

}  // namespace Registration
