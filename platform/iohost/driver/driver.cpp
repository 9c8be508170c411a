#include "platform/iohost/driver/driver.h"

namespace iohost {

std::string ResultName(int32_t code) {
    switch (code) {
        case errNoInput:
            return "errNoInput";
        case errNone:
            return "errNone";
        case errFail:
            return "errFail";
        case errVersion:
            return "errVersion";
        case errInvalidParam:
            return "errInvalidParam";
        case errAlloc:
            return "errAlloc";
        case errNoCodec:
            return "errNoCodec";
        case errMissingProperty:
            return "errMissingProperty";
        case errUnsupported:
            return "errUnsupported";
        case errNoObject:
            return "errNoObject";
        default:
            return "code " + std::to_string(code);
    }
}

namespace {

// Sends a listing selector with a fresh list and reads every published collection.
template <class Record>
int32_t List(const PluginModule& module, uint32_t selector, std::vector<Record>& out) {
    auto list = Host::instance().createList();
    const int32_t code = module.dispatch(selector, list.handle());
    out.clear();
    for (const auto& collection : list->collections()) out.push_back(Record::from(*collection));
    return code;
}

}  // namespace

int32_t Driver::getInfo(PluginInfo& out) const {
    auto collection = Host::instance().createCollection();
    const int32_t code = m_module->dispatch(plugGetInfo, collection.handle());
    if (code == errNone) out = PluginInfo::from(*collection);
    return code;
}

int32_t Driver::listContainers(std::vector<ContainerInfo>& out) const {
    return List(*m_module, plugListContainers, out);
}

int32_t Driver::listCodecs(std::vector<CodecInfo>& out) const {
    return List(*m_module, plugListCodecs, out);
}

int32_t Driver::queryCodec(const Uuid& id) const {
    auto collection = Host::instance().createCollection();
    auto list = Host::instance().createList();
    return m_module->dispatch(plugQueryCodec, static_cast<const void*>(id.data()),
                              collection.handle(), list.handle());
}

void* Driver::createRaw(const Uuid& classId, int32_t& code) const {
    void* object = nullptr;
    code = m_module->dispatch(plugCreateObject, static_cast<const void*>(classId.data()), &object);
    return code == errNone ? object : nullptr;
}

int32_t Driver::createObject(const Uuid& classId, PluginObject& out) const {
    int32_t code = errNone;
    if (void* object = createRaw(classId, code)) out = PluginObject(*m_module, object);
    return code;
}

int32_t Driver::createEncoder(const Uuid& codecId, Encoder& out) const {
    int32_t code = errNone;
    if (void* object = createRaw(codecId, code)) out = Encoder(*m_module, object);
    return code;
}

int32_t Driver::createContainer(const Uuid& containerId, Container& out) const {
    int32_t code = errNone;
    if (void* object = createRaw(containerId, code)) out = Container(*m_module, object);
    return code;
}

}  // namespace iohost
