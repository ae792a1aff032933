#include "engine/RunPlan.h"

#include "image/DemonImageText.h"
#include "image/FirmwareMessages.h"
#include "image/SRecordReader.h"

namespace vantrel {

std::variant<RunPlan, PlanRefusal> PlanRun(LoaderState& state, const FirmwareContent& firmware,
                                           const std::string& baseAddressText, int demonBaud,
                                           const char* demonText) {
    RunPlan plan;
    plan.demonBaud = demonBaud;
    plan.baseAddressText = baseAddressText;
    const std::int32_t demonSize = SRecordReader::LoadFromText(
        demonText != nullptr ? demonText : DemonImageText, state.DemonBuffer(), kDemonBaseAddress);
    if (demonSize < 0) {
        return PlanRefusal{std::string(DemonErrorMessage(demonSize)), std::nullopt};
    }
    plan.demonSize = static_cast<std::size_t>(demonSize);
    plan.baseAddress = SRecordReader::ParseBaseAddress(baseAddressText);
    if (plan.baseAddress == 0) {
        return PlanRefusal{std::string(kInvalidBaseAddressMessage), std::nullopt};
    }
    const FirmwareLoad load = std::holds_alternative<FirmwareRefusal>(firmware)
                                  ? FirmwareLoad(std::get<FirmwareRefusal>(firmware))
                                  : LoadFirmware(std::get<std::vector<std::uint8_t>>(firmware),
                                                 plan.baseAddress, state.RomBuffer());
    if (const auto* refusal = std::get_if<FirmwareRefusal>(&load)) {
        return PlanRefusal{RomRefusalText(*refusal, plan.baseAddress), *refusal};
    }
    plan.romSize = std::get<FirmwareLayout>(load).size;
    return plan;
}

}  // namespace vantrel
