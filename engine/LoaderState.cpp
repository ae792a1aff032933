#include "engine/LoaderState.h"

#include "engine/MonitorPackets.h"

namespace vantrel {

void LoaderState::CountAcknowledgements(int port, std::span<const std::uint8_t> bytes) {
    PortSlot& slot = Port(port);
    for (std::uint8_t byte : bytes) {
        if (!InProgress() || !slot.selected.load()) {
            return;
        }
        if (byte != kAck) {
            continue;
        }
        int stage = slot.stage.load();
        // The worker may set a new stage meanwhile; only ever step the value we saw.
        while (stage != 0 && !slot.stage.compare_exchange_weak(stage, stage + 1)) {
        }
    }
}

}  // namespace vantrel
