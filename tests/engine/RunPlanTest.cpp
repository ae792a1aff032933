// A run's plan: the Demon, the base address and the firmware read into the buffers by the
// rules every run applies, or the run refused with the window's words before it begins.
#include "engine/RunPlan.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/SRecordWriter.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kBase = 0x00C10000;

FirmwareContent ContentOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(RunPlanTest, ImageAndBaseAddressErrorsRefuseTheRunWithTheirMessages) {
    struct Case {
        std::string rom;
        std::string base;
        const char* demon;
        std::string message;
    };
    const std::string goodRom = FormatS3Records(std::vector<std::uint8_t>(8, 0x42), kBase);
    const std::string invalidBase =
        "Invalid base address specified.\n\nClick Settings and             make sure correct "
        "base address is specified.";
    const std::string noData =
        "ROM file holds no data (S-record)\n\nFlashing it would only erase the units. Select the "
        "firmware's ROM file.";
    const std::vector<Case> cases = {
        {goodRom, "00000000", nullptr, invalidBase},
        {goodRom, "", nullptr, invalidBase},
        {goodRom, "zz", nullptr, invalidBase},
        {"S30600C1000012FF\n", "00C10000", nullptr, "ROM file checksum invalid (S-record)"},
        {goodRom, "00C10001", nullptr,
         "ROM file type/base address mismatch (S-record)\n\nClick Settings and make sure they "
         "are correct."},
        {goodRom, "00C10000", "S30600000800FFFF", "Demon file checksum invalid (S-record)"},
        // Flashing these would erase every unit and write nothing, then call it complete.
        {"", "00C10000", nullptr, "ROM file is empty\n\nSelect the firmware's ROM file."},
        {"S00600004844521B\nS70500000000FA\n", "00C10000", nullptr, noData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto state = std::make_unique<LoaderState>();
        const auto plan = PlanRun(*state, ContentOf(c.rom), c.base, kDefaultDemonBaud, c.demon);
        ASSERT_TRUE(std::holds_alternative<PlanRefusal>(plan));
        const PlanRefusal& refusal = std::get<PlanRefusal>(plan);
        EXPECT_EQ(refusal.message, c.message);
        EXPECT_EQ(refusal.firmware.has_value(), c.message.starts_with("ROM file"));
    }
}

TEST(RunPlanTest, ThePlanSendsTheBuiltInDemonAndTheFileBytesAtTheBase) {
    auto state = std::make_unique<LoaderState>();
    const std::vector<std::uint8_t> image = {1, 2, 3, 4, 5};
    const auto plan =
        PlanRun(*state, ContentOf(FormatS3Records(image, kBase + 2)), "c10000", 115200);
    ASSERT_TRUE(std::holds_alternative<RunPlan>(plan));
    const RunPlan& ready = std::get<RunPlan>(plan);
    EXPECT_EQ(ready.demonSize, 5630u);
    EXPECT_EQ(ready.romSize, 7u) << "from the base to the last data byte";
    EXPECT_EQ(ready.baseAddress, kBase);
    EXPECT_EQ(ready.demonBaud, 115200);
    EXPECT_EQ(state->RomBuffer()[0], 0xFF) << "a gap is sent as erased flash";
    EXPECT_EQ(state->RomBuffer()[6], 5);
}

}  // namespace
}  // namespace vantrel
