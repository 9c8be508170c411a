// The plug-in as a host application sees it: registration questions and the object factory.
// Plain C++ over a loaded module for tests, benchmarks and the command line; every call answers
// the plug-in's result code and fills its output only on errNone (listings: with what was
// published up to a failure as well).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/iohost/driver/container.h"
#include "platform/iohost/driver/encoder.h"
#include "platform/iohost/module/plugin_descriptions.h"
#include "platform/iohost/module/plugin_module.h"

namespace iohost {

class Driver {
public:
    explicit Driver(const PluginModule& module) : m_module(&module) {}

    [[nodiscard]] const PluginModule& module() const { return *m_module; }

    [[nodiscard]] int32_t getInfo(PluginInfo& out) const;
    [[nodiscard]] int32_t listContainers(std::vector<ContainerInfo>& out) const;
    [[nodiscard]] int32_t listCodecs(std::vector<CodecInfo>& out) const;
    [[nodiscard]] int32_t queryCodec(const Uuid& id) const;

    // plugCreateObject; on errNone `out` owns the new object's reference.
    [[nodiscard]] int32_t createObject(const Uuid& classId, PluginObject& out) const;
    [[nodiscard]] int32_t createEncoder(const Uuid& codecId, Encoder& out) const;
    [[nodiscard]] int32_t createContainer(const Uuid& containerId, Container& out) const;

private:
    [[nodiscard]] void* createRaw(const Uuid& classId, int32_t& code) const;

    const PluginModule* m_module;
};

// Name of a result code ("errNone", "errFail", ...) or "code N" for others.
[[nodiscard]] std::string ResultName(int32_t code);

}  // namespace iohost
