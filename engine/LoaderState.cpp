#include "engine/LoaderState.h"

#include <algorithm>
#include <thread>

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

void LoaderState::ArmChunk(std::span<const std::uint8_t> packet, int reached, int sent) {
    std::copy(packet.begin(), packet.end(), chunk_.begin());
    chunkLength_ = packet.size();
    chunkReached_ = reached;
    chunkSent_ = sent;
    chunkState_.store(kArmed, std::memory_order_release);
}

bool LoaderState::ChunkGoneOut() const {
    const int state = chunkState_.load(std::memory_order_acquire);
    return state == kWriting || state == kWritten;
}

bool LoaderState::DisarmChunk() {
    int state = kArmed;
    if (chunkState_.compare_exchange_strong(state, kIdle)) {
        return false;
    }
    // A write under way is short and on the UI thread: the packet is the worker's again after.
    while (state == kWriting) {
        std::this_thread::yield();
        state = chunkState_.load(std::memory_order_acquire);
    }
    chunkState_.store(kIdle);
    return state == kWritten;
}

bool LoaderState::EveryActiveUnitAt(int stage) {
    bool anyActive = false;
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsActive(port)) {
            if (Port(port).stage.load() != stage) {
                return false;
            }
            anyActive = true;
        }
    }
    return anyActive;
}

bool LoaderState::WaitDecided() {
    const int stage = awaitedStage_.load();
    return stage != 0 && EveryActiveUnitAt(stage);
}

std::span<const std::uint8_t> LoaderState::TakeDueChunk() {
    if (chunkState_.load(std::memory_order_acquire) != kArmed) {
        return {};
    }
    int state = kArmed;
    if (!EveryActiveUnitAt(chunkReached_) ||
        !chunkState_.compare_exchange_strong(state, kWriting)) {
        return {};
    }
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsActive(port)) {
            Port(port).stage.store(chunkSent_);
        }
    }
    return std::span(chunk_.data(), chunkLength_);
}

void LoaderState::ChunkWritten() {
    chunkState_.store(kWritten, std::memory_order_release);
}

}  // namespace vantrel
