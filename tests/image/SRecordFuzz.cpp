// libFuzzer target for the firmware readers: the Demon's text form and ROM files of every format.
// The first four bytes choose the base address; the rest is the content. Buffers are exactly
// their real capacity on the heap, so a write past one is caught by AddressSanitizer. A refused
// file leaves the buffer untouched; an accepted S-record file must give exactly the span of its
// data records over erased bytes, which a plain second reading checks here.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "image/FirmwareLoader.h"
#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

unsigned Hex(char c) {
    return static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

unsigned Byte(std::string_view line, std::size_t column) {
    return Hex(line[column]) << 4 | Hex(line[column + 1]);
}

// What the file's data records say, read the simple way: line by line (LF, CR LF or CR), every
// record already known to be well formed because the reader accepted the file.
std::vector<std::uint8_t> ExpectedImage(std::string_view text, std::uint32_t base,
                                        std::size_t size) {
    std::vector<std::uint8_t> image(size, 0xFF);
    std::size_t highest = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end);
        if (text.starts_with("\r\n")) {
            text.remove_prefix(2);
        } else if (!text.empty()) {
            text.remove_prefix(1);
        }
        if (line.size() < 2 || line[1] < '1' || line[1] > '3') {
            continue;
        }
        const std::size_t width = static_cast<std::size_t>(line[1] - '1') + 2;
        const unsigned count = Byte(line, 2);
        std::uint32_t address = 0;
        for (std::size_t i = 0; i < width; ++i) {
            address = address << 8 | Byte(line, 4 + 2 * i);
        }
        for (std::size_t k = 0; k + width + 1 < count; ++k) {
            image.at(address - base + k) =
                static_cast<std::uint8_t>(Byte(line, 4 + 2 * width + 2 * k));
            highest = std::max<std::size_t>(highest, address - base + k + 1);
        }
    }
    if (highest != size) {
        __builtin_trap();
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    std::uint32_t base = 0;
    std::memcpy(&base, data, 4);
    const char* text = reinterpret_cast<const char*>(data + 4);
    const std::size_t textSize = size - 4;

    std::vector<char> terminated(text, text + textSize);
    terminated.push_back('\0');
    static std::vector<std::uint8_t> demon(vantrel::kDemonImageCapacity);
    const std::int32_t demonSize =
        vantrel::SRecordReader::LoadFromText(terminated.data(), demon, base);
    if (demonSize > static_cast<std::int32_t>(demon.size())) {
        __builtin_trap();
    }

    static std::vector<std::uint8_t> rom(vantrel::kRomImageCapacity);
    std::fill(rom.begin(), rom.end(), kUntouched);
    const std::span<const std::uint8_t> content(data + 4, textSize);
    const vantrel::FirmwareLoad load = vantrel::LoadFirmware(content, base, rom);
    const auto* layout = std::get_if<vantrel::FirmwareLayout>(&load);
    const std::size_t romSize = layout != nullptr ? layout->size : 0;
    if (romSize > rom.size() ||
        std::any_of(rom.begin() + static_cast<std::ptrdiff_t>(romSize), rom.end(),
                    [](std::uint8_t b) { return b != kUntouched; })) {
        __builtin_trap();
    }
    if (layout != nullptr && layout->format == vantrel::FirmwareFormat::SRecord) {
        const auto expected = ExpectedImage(std::string_view(text, textSize), base, romSize);
        if (!std::equal(expected.begin(), expected.end(), rom.begin())) {
            __builtin_trap();
        }
    }
    vantrel::SRecordReader::ParseBaseAddress(std::string_view(text, textSize));
    return 0;
}
