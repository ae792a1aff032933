#include "image/SRecordWriter.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel {
namespace {

void AppendByte(std::string& out, std::uint8_t value, unsigned& sum) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[value >> 4];
    out += kDigits[value & 0x0F];
    sum += value;
}

}  // namespace

std::string FormatS3Record(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (data.size() > 250) {
        throw std::length_error("an S3 record carries at most 250 data bytes");
    }
    std::string record = "S3";
    unsigned sum = 0;
    AppendByte(record, static_cast<std::uint8_t>(data.size() + 5), sum);
    for (int shift = 24; shift >= 0; shift -= 8) {
        AppendByte(record, static_cast<std::uint8_t>(address >> shift), sum);
    }
    for (std::uint8_t byte : data) {
        AppendByte(record, byte, sum);
    }
    unsigned ignored = 0;
    AppendByte(record, static_cast<std::uint8_t>(~sum & 0xFFu), ignored);
    return record;
}

std::string FormatS3Records(std::span<const std::uint8_t> bytes, std::uint32_t address,
                            std::size_t bytesPerRecord) {
    std::string text;
    for (std::size_t offset = 0; offset < bytes.size(); offset += bytesPerRecord) {
        const std::size_t count = std::min(bytesPerRecord, bytes.size() - offset);
        text += FormatS3Record(address + static_cast<std::uint32_t>(offset),
                               bytes.subspan(offset, count));
        text += '\n';
    }
    text += "S70500000000FA\n";
    return text;
}

}  // namespace vantrel
