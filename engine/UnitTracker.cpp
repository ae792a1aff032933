#include "engine/UnitTracker.h"

#include <algorithm>
#include <array>
#include <string>

#include "engine/UnitStage.h"

namespace vantrel {

void UnitTracker::SetStage(int stage) {
    for (int port = 1; port <= kPortCount; ++port) {
        if (state_.IsActive(port)) {
            state_.Port(port).stage.store(stage);
        }
    }
    ShowStage(stage);
}

void UnitTracker::ShowStage(int stage) {
    const std::string_view text = StageTextTable.at(static_cast<std::size_t>(stage));
    std::array<StatusUpdate, kPortCount> updates{};
    std::size_t count = 0;
    for (int port = 1; port <= kPortCount; ++port) {
        if (!state_.IsActive(port)) {
            continue;
        }
        updates[count++] = {port, text};
    }
    if (count > 0) {
        host_.SetStatusTexts(std::span(updates.data(), count));
    }
}

bool UnitTracker::WaitForStage(int expected, std::chrono::milliseconds interval,
                               std::int8_t tries) {
    const auto expectedIndex = static_cast<std::size_t>(expected);
    std::array<bool, kPortCount> active{};
    for (int port = 1; port <= kPortCount; ++port) {
        active[static_cast<std::size_t>(port - 1)] = state_.IsActive(port);
    }
    int successes = 0;
    // Looks at each poll and the moment the last unit is in; no later than the last poll.
    const auto start = host_.Now();
    const auto deadline = start + interval * std::max<int>(tries, 1);
    state_.AwaitStage(expected);
    struct AwaitNone {
        LoaderState& state;
        ~AwaitNone() { state.AwaitStage(0); }
    } awaitNone{state_};
    const auto behind = [&] {
        for (int port = 1; port <= kPortCount; ++port) {
            if (active[static_cast<std::size_t>(port - 1)] &&
                state_.Port(port).stage.load() != expected) {
                return true;
            }
        }
        return false;
    };
    bool chunkOut = false;
    for (bool lastLook = false;;) {
        // No unit is given up for an ACK that reached the computer in time but was not read yet.
        if (lastLook && behind()) {
            host_.TakeInArrived();
        }
        // Gone out, the armed chunk says every unit reached expected (their stages moved on).
        // Taken back first at the last look, it can no longer go out to a unit given up.
        chunkOut = lastLook ? state_.DisarmChunk() : state_.ChunkGoneOut();
        bool pending = false;
        std::array<StatusUpdate, kPortCount> reached{};
        std::size_t reachedCount = 0;
        for (int port = 1; port <= kPortCount; ++port) {
            bool& isActive = active[static_cast<std::size_t>(port - 1)];
            if (!isActive) {
                continue;
            }
            if (chunkOut || state_.Port(port).stage.load() == expected) {
                reached[reachedCount++] = {port, StageTextTable.at(expectedIndex)};
                isActive = false;
                ++successes;
            } else {
                pending = true;
            }
        }
        if (reachedCount > 0) {
            host_.SetStatusTexts(std::span(reached.data(), reachedCount));
        }
        if (!pending || lastLook) {
            break;
        }
        const auto polls = (host_.Now() - start) / interval;
        host_.WaitForAcknowledgement(std::min(deadline, start + interval * (polls + 1)));
        lastLook = host_.Now() >= deadline;
    }
    // Also ends a write under way, and the chunk may have gone out since the look.
    chunkOut = state_.DisarmChunk() || chunkOut;
    if (missing_ == Missing::Keep) {
        return chunkOut;
    }

    const std::string_view failText = StageFailTextTable.at(expectedIndex);
    for (int port = 1; port <= kPortCount; ++port) {
        if (!active[static_cast<std::size_t>(port - 1)]) {
            continue;
        }
        const std::string message = "Error detected with the unit connected to COM " +
                                    std::to_string(port) + ": " + std::string(failText);
        host_.ShowMessage(message, MessageButtons::Ok, MessageIcon::Stop);
        host_.SetStatusText(port, failText);
        state_.Port(port).failedAt.store(expected);
        state_.Port(port).selected.store(false);
        host_.ClosePort(port);
    }
    if (successes == 0) {
        FinishRun();
    }
    return chunkOut;
}

void UnitTracker::FinishRun() {
    state_.SetInProgress(false);
    host_.CloseSelectedPorts();
    host_.EnableStart();
    throw RunFinished{};
}

}  // namespace vantrel
