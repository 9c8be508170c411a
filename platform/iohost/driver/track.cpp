#include "platform/iohost/driver/track.h"

namespace iohost {

int32_t Track::write(HostBuffer& packet) {
    return send(trackWrite, packet.handle());
}

int32_t Track::writeNull() {
    return send(trackWrite, static_cast<void*>(nullptr));
}

int32_t Track::write(std::span<const uint8_t> bytes, std::optional<int64_t> duration) {
    auto packet = Host::instance().createBuffer();
    (void)packet->assign(bytes);  // a new buffer is never locked
    if (duration) packet->setInt64("duration", *duration);
    return write(*packet);
}

}  // namespace iohost
