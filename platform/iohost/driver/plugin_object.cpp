#include "platform/iohost/driver/plugin_object.h"

#include <utility>

namespace iohost {

PluginObject::PluginObject(PluginObject&& other) noexcept
    : m_module(other.m_module), m_object(std::exchange(other.m_object, nullptr)) {}

PluginObject& PluginObject::operator=(PluginObject&& other) noexcept {
    if (this != &other) {
        reset();
        m_module = other.m_module;
        m_object = std::exchange(other.m_object, nullptr);
    }
    return *this;
}

PluginObject::~PluginObject() {
    reset();
}

int32_t PluginObject::addRef(uint32_t& count) const {
    if (m_module == nullptr) return errNoObject;
    return m_module->dispatch(plugAddRef, m_object, &count);
}

int32_t PluginObject::releaseExtra(uint32_t& count) const {
    if (m_module == nullptr) return errNoObject;
    return m_module->dispatch(plugRelease, m_object, &count);
}

int32_t PluginObject::reset() {
    void* object = std::exchange(m_object, nullptr);
    if (object == nullptr || m_module == nullptr) return errNone;
    uint32_t count = 0;
    return m_module->dispatch(plugRelease, object, &count);
}

void* PluginObject::detach() {
    return std::exchange(m_object, nullptr);
}

}  // namespace iohost
