#include "image/FirmwareMessages.h"

#include <cstdio>

#include "image/ImageBuffer.h"

namespace vantrel {
namespace {

constexpr std::string_view kClickSettings = "\n\nClick Settings and make sure they are correct.";

std::string Bracketed(FirmwareFormat format) {
    return format == FirmwareFormat::Unknown ? "" : " (" + std::string(FormatName(format)) + ")";
}

// "fw.rom line 12" or "fw.rom", as compilers name a place in a file.
std::string Place(const FirmwareRefusal& refusal, std::string_view path) {
    std::string place(path);
    if (refusal.line > 0) {
        place += " line " + std::to_string(refusal.line);
    }
    return place;
}

std::string RecordAt(const FirmwareRefusal& refusal) {
    return refusal.address ? "the record at " + AddressText(*refusal.address) : "a record";
}

}  // namespace

std::string_view FormatName(FirmwareFormat format) {
    switch (format) {
        case FirmwareFormat::SRecord:
            return "S-record";
        case FirmwareFormat::IntelHex:
            return "Intel HEX";
        case FirmwareFormat::Elf:
            return "ELF";
        case FirmwareFormat::Unknown:
            break;
    }
    return "unknown format";
}

std::string AddressText(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(address));
    return text;
}

std::string ConvertBinaryCommand(std::uint32_t baseAddress) {
    char offset[16];
    std::snprintf(offset, sizeof offset, "0x%X", baseAddress);
    return std::string("srec_cat fw.bin -binary -offset ") + offset +
           " -o fw.rom -motorola -address-length=4";
}

std::string RomRefusalText(const FirmwareRefusal& refusal, std::uint32_t baseAddress) {
    const std::string format = Bracketed(refusal.format);
    switch (refusal.problem) {
        case FirmwareProblem::ChecksumInvalid:
            return "ROM file checksum invalid" + format;
        case FirmwareProblem::AddressInvalid:
            return "ROM file address value invalid" + format;
        case FirmwareProblem::BelowBase:
            return "ROM file type/base address mismatch" + format + std::string(kClickSettings);
        case FirmwareProblem::PastAddressSpace:
            return "ROM file size mismatch" + format + std::string(kClickSettings);
        case FirmwareProblem::FormatInvalid:
            return "ROM file format invalid" + format;
        case FirmwareProblem::TooLarge:
            return "ROM file too large" + format;
        case FirmwareProblem::NoData:
            return refusal.format == FirmwareFormat::Unknown
                       ? "ROM file is empty\n\nSelect the firmware's ROM file."
                       : "ROM file holds no data" + format +
                             "\n\nFlashing it would only erase the units. Select the "
                             "firmware's ROM file.";
        case FirmwareProblem::Truncated:
            return "ROM file incomplete" + format +
                   "\n\nThe file ends early. Build it again and select it once the build has "
                   "finished.";
        case FirmwareProblem::RawBinary:
            return "ROM file is a raw binary image\n\nMake an S-record file of it first, for "
                   "example:\n" +
                   ConvertBinaryCommand(baseAddress);
        case FirmwareProblem::NotFirmware:
            return "ROM file format not recognised\n\nSelect an S-record, Intel HEX or ELF "
                   "file.";
    }
    return "ROM file format invalid" + format;
}

std::string RomRefusalLine(const FirmwareRefusal& refusal, std::string_view path,
                           std::uint32_t baseAddress) {
    const std::string place = Place(refusal, path);
    const std::string format = Bracketed(refusal.format);
    const std::string base = AddressText(baseAddress);
    switch (refusal.problem) {
        case FirmwareProblem::ChecksumInvalid:
        case FirmwareProblem::AddressInvalid:
        case FirmwareProblem::FormatInvalid:
            return place + ": " + (refusal.detail.empty() ? "invalid record" : refusal.detail) +
                   format;
        case FirmwareProblem::BelowBase:
            return place + ": " + RecordAt(refusal) + " lies below the base address " + base +
                   format + "; give the right --base";
        case FirmwareProblem::PastAddressSpace:
            return place + ": " + RecordAt(refusal) + " would end the image past address FFFFFFFF" +
                   format + "; check --base";
        case FirmwareProblem::TooLarge:
            return place + ": " + RecordAt(refusal) + " lies more than " +
                   std::to_string(kRomImageCapacity) + " bytes (640 KiB) past the base address " +
                   base + format + ", beyond what a unit holds; check --base";
        case FirmwareProblem::NoData:
            return refusal.format == FirmwareFormat::Unknown
                       ? place + ": " + refusal.detail + "; nothing to flash"
                       : place + ": no data records" + format +
                             ": flashing it would only erase the units";
        case FirmwareProblem::Truncated:
            return place + ": incomplete" + format + ": " + refusal.detail +
                   "; build it again and wait until the build has finished";
        case FirmwareProblem::RawBinary:
            return place +
                   ": a raw binary image, not a firmware file; make an S-record file of "
                   "it first, for example: " +
                   ConvertBinaryCommand(baseAddress);
        case FirmwareProblem::NotFirmware:
            return place + ": " + refusal.detail + "; give an S-record, Intel HEX or ELF file";
    }
    return place + ": invalid" + format;
}

}  // namespace vantrel
