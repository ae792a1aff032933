// libFuzzer target for the S-record reader, both forms. The first four bytes choose the base
// address; the rest is the text. Buffers are exactly their real capacity on the heap, so a
// write past one is caught by AddressSanitizer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

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
    std::FILE* file = fmemopen(const_cast<char*>(text), textSize == 0 ? 1 : textSize, "r");
    if (file == nullptr) {
        return 0;
    }
    const std::int32_t romSize = vantrel::SRecordReader::LoadFromFile(file, rom, base);
    std::fclose(file);
    if (romSize > static_cast<std::int32_t>(rom.size()) || romSize < -7) {
        __builtin_trap();
    }
    vantrel::SRecordReader::ParseBaseAddress(std::string_view(text, textSize));
    return 0;
}
