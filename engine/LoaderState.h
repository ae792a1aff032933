#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "engine/MonitorPackets.h"
#include "image/ImageBuffer.h"

namespace vantrel {

inline constexpr int kPortCount = 16;

// Where COM port N (1 to 16) sits in a table of kPortCount entries.
inline std::size_t PortIndex(int port) {
    if (port < 1 || port > kPortCount) {
        throw std::out_of_range("port number out of range");
    }
    return static_cast<std::size_t>(port - 1);
}

// Per-port state shared by the worker and the UI thread; every field is read and written whole.
struct PortSlot {
    std::atomic<bool> selected{false};
    std::atomic<bool> controlCreated{false};
    std::atomic<int> stage{0};
    // The stage this run's unit failed to reach at a wait; -1 while it has not failed one.
    std::atomic<int> failedAt{-1};
};

// Everything a run works on. One exists for the owner's whole life: no buffer is allocated per run.
// Large (the two image buffers), so owners keep it on the heap.
class LoaderState {
  public:
    // port is the COM port number, 1 to 16.
    PortSlot& Port(int port) { return ports_[PortIndex(port)]; }
    bool InProgress() const { return inProgress_.load(); }
    void SetInProgress(bool value) { inProgress_.store(value); }
    // A port takes part while it is selected and a run is in progress.
    bool IsActive(int port) { return InProgress() && Port(port).selected.load(); }
    // Whether this run has written a byte to a unit yet: a run stopped before it touched none.
    bool BytesSent() const { return bytesSent_.load(); }
    void SetBytesSent(bool value) { bytesSent_.store(value); }

    // UI thread: each ACK byte moves a non-zero stage counter on by one; every other byte is
    // ignored. Nothing is counted while no run is in progress or the port is not selected.
    // The bytes of one read move the counter in one step, so a worker looking at it meanwhile
    // never sees half of a burst. Returns how many ACKs moved it.
    int CountAcknowledgements(int port, std::span<const std::uint8_t> bytes);

    // Worker: the stage its wait is for; 0 while it waits for none.
    void AwaitStage(int stage) { awaitedStage_.store(stage); }
    // UI thread, after counting: the wait can end now, every active unit being exactly at its
    // stage. Only then is the worker woken: a look in between could decide nothing.
    bool WaitDecided();

    // The next chunk, armed by the worker while it waits for the ACKs of the one before: it goes
    // out on the UI thread the moment the last of them is counted, which saves the worker's
    // wake-up and a crossing per chunk.
    //
    // Worker: arms the packet; it is due once every active unit stands exactly at `reached`,
    // and their stages are then set to `sent`.
    void ArmChunk(std::span<const std::uint8_t> packet, int reached, int sent);
    // Worker: whether the armed chunk has gone out (or is going out).
    bool ChunkGoneOut() const;
    // Worker: takes the armed chunk back; true when it had gone out already. Waits for a write
    // under way to end.
    bool DisarmChunk();
    // UI thread, after counting: the armed packet when it is due now, with every active unit's
    // stage set to its sent stage; empty otherwise. ChunkWritten must follow once it is written.
    std::span<const std::uint8_t> TakeDueChunk();
    void ChunkWritten();

    RomImage& RomBuffer() { return romImage_; }
    DemonImage& DemonBuffer() { return demonImage_; }

  private:
    // At least one unit is active, and every active one is exactly at stage.
    bool EveryActiveUnitAt(int stage);

    enum ChunkState { kIdle, kArmed, kWriting, kWritten };

    std::array<PortSlot, kPortCount> ports_{};
    std::atomic<bool> inProgress_{false};
    std::atomic<bool> bytesSent_{false};
    std::atomic<int> awaitedStage_{0};
    // The packet and its stages belong to whoever moved the state last: the worker while idle
    // or armed, the UI thread while writing.
    std::atomic<int> chunkState_{kIdle};
    PacketBuffer chunk_{};
    std::size_t chunkLength_ = 0;
    int chunkReached_ = 0;
    int chunkSent_ = 0;
    RomImage romImage_{};
    DemonImage demonImage_{};
};

}  // namespace vantrel
