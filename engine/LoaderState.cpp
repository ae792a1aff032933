#include "engine/LoaderState.h"

#include <algorithm>

#include "engine/MonitorPackets.h"

namespace vantrel {

int LoaderState::CountAcknowledgements(int port, std::span<const std::uint8_t> bytes) {
    PortSlot& slot = Port(port);
    if (!InProgress() || !slot.selected.load()) {
        return 0;
    }
    const auto acks = static_cast<int>(std::count(bytes.begin(), bytes.end(), kAck));
    int stage = slot.stage.load();
    // The worker may set a new stage meanwhile; only ever step the value we saw.
    while (acks > 0 && stage != 0 && !slot.stage.compare_exchange_weak(stage, stage + acks)) {
    }
    return stage != 0 ? acks : 0;
}

}  // namespace vantrel
