// libFuzzer target for the S-record reader, both forms. The first four bytes choose the base
// address; the rest is the text. Buffers are exactly their real capacity on the heap, so a
// write past one is caught by AddressSanitizer. A successful file read must place exactly the
// data of the file's S3 records and nothing else, which a plain second reading checks here.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

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

// What the file's S3 records say, read the simple way: line by line (LF, CR LF or CR), every
// record already known to be well formed because the reader accepted the file.
std::vector<std::uint8_t> ExpectedImage(std::string_view text, std::uint32_t base,
                                        std::size_t size) {
    std::vector<std::uint8_t> image(size, 0xFF);
    std::size_t dataBytes = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end);
        if (text.starts_with("\r\n")) {
            text.remove_prefix(2);
        } else if (!text.empty()) {
            text.remove_prefix(1);
        }
        if (line.size() < 2 || line[1] != '3') {
            continue;
        }
        const unsigned count = Byte(line, 2);
        std::uint32_t address = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            address = address << 8 | Byte(line, 4 + 2 * i);
        }
        for (std::size_t k = 0; k + 5 < count; ++k) {
            image.at(address - base + k) = static_cast<std::uint8_t>(Byte(line, 12 + 2 * k));
        }
        dataBytes += count - 5;
    }
    if (dataBytes != size) {
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
    std::FILE* file = textSize == 0 ? nullptr : fmemopen(const_cast<char*>(text), textSize, "r");
    if (file == nullptr) {
        return 0;
    }
    std::fill(rom.begin(), rom.end(), kUntouched);
    const std::int32_t romSize = vantrel::SRecordReader::LoadFromFile(file, rom, base);
    std::fclose(file);
    if (romSize > static_cast<std::int32_t>(rom.size()) || romSize < -7) {
        __builtin_trap();
    }
    if (romSize >= 0) {
        const auto size = static_cast<std::size_t>(romSize);
        const auto expected = ExpectedImage(std::string_view(text, textSize), base, size);
        if (!std::equal(expected.begin(), expected.end(), rom.begin()) ||
            std::any_of(rom.begin() + romSize, rom.end(),
                        [](std::uint8_t b) { return b != kUntouched; })) {
            __builtin_trap();
        }
    }
    vantrel::SRecordReader::ParseBaseAddress(std::string_view(text, textSize));
    return 0;
}
