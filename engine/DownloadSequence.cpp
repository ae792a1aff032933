#include "engine/DownloadSequence.h"

#include <stdexcept>

namespace vantrel {

std::uint16_t BuildStepPacket(PacketBuffer& buffer, StepSends sends, int demonBaud) {
    switch (sends) {
        case StepSends::ForceMonitor:
            return BuildForceMonitor(buffer);
        case StepSends::Enquiry:
            return BuildEnquiry(buffer);
        case StepSends::RunDemon:
            return BuildRunDemon(buffer);
        case StepSends::SetBaudRate:
            return BuildSetBaudRate(buffer, static_cast<std::uint32_t>(demonBaud));
        case StepSends::EraseFlash:
            return BuildEraseFlash(buffer);
        default:
            throw std::logic_error("a step that sends an image has no single packet");
    }
}

}  // namespace vantrel
