#include "tests/bridge/bridge_test_support.h"

namespace bridge_test {

int g_liveObjects = 0;

void ConnectToReferenceHost() {
    IOPlugin::s_HostAPI = iohost::Host::instance().api();
}

int32_t Send(IOPlugin::IPluginObjRef* object, uint32_t selector, ...) {
    va_list args;
    va_start(args, selector);
    const int32_t result = object->Dispatch(selector, args);
    va_end(args);
    return result;
}

int32_t TestContainer::AddTrack(IOPlugin::HostPropertyCollectionRef&,
                                IOPlugin::HostPropertyCollectionRef& codec,
                                IOPlugin::IPluginObjRef** out) {
    codecWasEmpty = codec.IsEmpty();
    if (addTrackAnswer != errNone) return addTrackAnswer;
    *out = writerTracks ? static_cast<IOPlugin::IPluginObjRef*>(new TestWriterTrack(this))
                        : new TestTrack(this);
    return errNone;
}

TestTrack::TestTrack(TestContainer* container) {
    ++g_liveObjects;
    container->AddRef();
    m_pContainer = container;
}

}  // namespace bridge_test
