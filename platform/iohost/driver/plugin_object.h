// Owns one reference to a plug-in object (an encoder, a container or a track) and drops it with
// plugRelease on destruction. The module must outlive every PluginObject made from it.
#pragma once

#include <cstdint>

#include "platform/iohost/module/plugin_module.h"

namespace iohost {

class PluginObject {
public:
    PluginObject() = default;
    PluginObject(const PluginModule& module, void* object) : m_module(&module), m_object(object) {}
    PluginObject(PluginObject&& other) noexcept;
    PluginObject& operator=(PluginObject&& other) noexcept;
    PluginObject(const PluginObject&) = delete;
    PluginObject& operator=(const PluginObject&) = delete;
    virtual ~PluginObject();

    [[nodiscard]] void* get() const { return m_object; }
    [[nodiscard]] explicit operator bool() const { return m_object != nullptr; }
    [[nodiscard]] const PluginModule* module() const { return m_module; }

    // plugAddRef / plugRelease on the object, answering the plug-in's code and its count. A
    // release here drops a reference the holder does not own; use it only to test counting.
    [[nodiscard]] int32_t addRef(uint32_t& count) const;
    [[nodiscard]] int32_t releaseExtra(uint32_t& count) const;
    // Drops the held reference now; answers plugRelease's code (errNone when empty).
    int32_t reset();
    // Gives up ownership without releasing.
    [[nodiscard]] void* detach();

    // An object selector on this object: the object pointer goes first.
    template <class... Args>
    [[nodiscard]] int32_t send(uint32_t selector, Args... args) const {
        if (m_module == nullptr) return errNoObject;
        return m_module->dispatch(selector, m_object, args...);
    }

protected:
    const PluginModule* m_module = nullptr;
    void* m_object = nullptr;
};

}  // namespace iohost
