#include "engine/TextLedger.h"

namespace vantrel {

void TextLedger::SetStatusTexts(std::span<const StatusUpdate> updates) {
    host_.SetStatusTexts(updates);
    // Kept once shown: a call that threw (a stop) showed nothing.
    const Clock::time_point now = host_.Now();
    for (const StatusUpdate& update : updates) {
        entries_[PortIndex(update.port)] = {std::string(update.text), now};
    }
}

}  // namespace vantrel
