// Firmware files written by real tools at test time: each reads back as exactly its image, or is
// refused for the right reason with the buffer untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <unistd.h>

#include "image/FirmwareLoader.h"
#include "image/FirmwareMessages.h"
#include "image/ImageBuffer.h"
#include "tests/image/ToolFiles.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

TEST(ToolFilesTest, EveryFileFlashesExactlyOrIsRefusedUntouched) {
    const fs::path dir =
        fs::temp_directory_path() / ("vantrel-tool-files-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const auto files = testing::MakeToolFiles(dir);
    auto buffer = std::make_unique<RomImage>();
    for (const testing::ToolFile& file : files) {
        SCOPED_TRACE(file.name);
        std::ifstream in(file.path, std::ios::binary);
        const std::vector<std::uint8_t> content{std::istreambuf_iterator<char>(in),
                                                std::istreambuf_iterator<char>()};
        buffer->fill(0xA5);
        const FirmwareLoad load = LoadFirmware(content, file.base, *buffer);
        if (file.refusal) {
            ASSERT_TRUE(std::holds_alternative<FirmwareRefusal>(load));
            const auto& refusal = std::get<FirmwareRefusal>(load);
            EXPECT_EQ(refusal.problem, *file.refusal)
                << RomRefusalLine(refusal, file.name, file.base);
            EXPECT_TRUE(
                std::all_of(buffer->begin(), buffer->end(), [](auto b) { return b == 0xA5; }));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<FirmwareLayout>(load))
            << RomRefusalLine(std::get<FirmwareRefusal>(load), file.name, file.base);
        const auto& layout = std::get<FirmwareLayout>(load);
        ASSERT_EQ(layout.size, file.image.size());
        EXPECT_TRUE(std::equal(file.image.begin(), file.image.end(), buffer->begin()));
        EXPECT_EQ((*buffer)[layout.size], 0xA5) << "nothing past the image";
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vantrel
