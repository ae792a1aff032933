#include "image/FirmwareLoader.h"

#include <algorithm>
#include <memory>

#include "image/ElfReader.h"
#include "image/IntelHexReader.h"
#include "image/SRecordFileReader.h"
#include "image/TextLines.h"

namespace vantrel {
namespace {

constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;

bool IsTextByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\r' ||
           byte == '\f' || byte == '\v';
}

bool IsText(std::span<const std::uint8_t> content) {
    return std::all_of(content.begin(), content.end(), IsTextByte);
}

// The first character that is not white space, or 0.
char FirstVisible(std::span<const std::uint8_t> content) {
    for (std::uint8_t byte : content) {
        if (byte > ' ') {
            return static_cast<char>(byte);
        }
    }
    return 0;
}

bool HasSRecordLine(std::span<const std::uint8_t> content) {
    TextLines lines(content);
    std::string_view line;
    while (lines.Next(line)) {
        // Only the type character decides, as for the records themselves.
        if (line.size() >= 2 && !IsBlank(line[0]) && line[1] >= '0' && line[1] <= '9') {
            return true;
        }
    }
    return false;
}

FirmwareRefusal NotFirmware(std::span<const std::uint8_t> content) {
    if (FirstVisible(content) == 0) {
        return {FirmwareProblem::NoData, FirmwareFormat::Unknown, 0, std::nullopt,
                content.empty() ? "the file is empty" : "the file holds only blank lines"};
    }
    if (IsText(content)) {
        return {FirmwareProblem::NotFirmware, FirmwareFormat::Unknown, 0, std::nullopt,
                "text, but no S-record, Intel HEX or ELF firmware"};
    }
    return {FirmwareProblem::RawBinary, FirmwareFormat::Unknown, 0, std::nullopt,
            "a raw binary image"};
}

std::unique_ptr<FirmwareFormatReader> ReaderFor(FirmwareFormat format) {
    switch (format) {
        case FirmwareFormat::SRecord:
            return std::make_unique<SRecordFileReader>();
        case FirmwareFormat::IntelHex:
            return std::make_unique<IntelHexReader>();
        case FirmwareFormat::Elf:
            return std::make_unique<ElfReader>();
        case FirmwareFormat::Unknown:
            break;
    }
    return nullptr;
}

// Counts every kind of record, first seen first.
class CountingSink : public FirmwareRecordSink {
  public:
    void Counted(std::string_view kind) override {
        const auto found = std::find_if(counts_.begin(), counts_.end(),
                                        [kind](const auto& entry) { return entry.first == kind; });
        if (found != counts_.end()) {
            ++found->second;
        } else {
            counts_.emplace_back(std::string(kind), 1);
        }
    }
    std::vector<std::pair<std::string, std::size_t>> TakeCounts() { return std::move(counts_); }

  private:
    std::vector<std::pair<std::string, std::size_t>> counts_;
};

// First pass: where the records lie. Refuses any that would not fit the unit, before a byte of
// the buffer is written.
class ExtentSink : public CountingSink {
  public:
    ExtentSink(FirmwareFormat format, std::uint32_t base, std::size_t capacity)
        : format_(format), base_(base), capacity_(capacity) {}

    bool Data(std::uint64_t address, std::span<const std::uint8_t> bytes,
              std::size_t line) override {
        if (address < base_) {
            return Refuse(FirmwareProblem::BelowBase, address, line);
        }
        const std::uint64_t end = address + bytes.size();
        if (bytes.empty()) {
            return true;
        }
        if (end > kAddressSpaceEnd) {
            return Refuse(FirmwareProblem::PastAddressSpace, address, line);
        }
        if (end - base_ > capacity_) {
            return Refuse(FirmwareProblem::TooLarge, address, line);
        }
        size_ = std::max<std::size_t>(size_, static_cast<std::size_t>(end - base_));
        return true;
    }

    std::size_t Size() const { return size_; }
    const std::optional<FirmwareRefusal>& Refusal() const { return refusal_; }

  private:
    bool Refuse(FirmwareProblem problem, std::uint64_t address, std::size_t line) {
        refusal_ = FirmwareRefusal{problem, format_, line, address, {}};
        return false;
    }

    FirmwareFormat format_;
    std::uint64_t base_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    std::optional<FirmwareRefusal> refusal_;
};

// Second pass: the bytes into the image, noting which were covered once and which again.
class PlacingSink : public FirmwareRecordSink {
  public:
    PlacingSink(std::uint32_t base, std::span<std::uint8_t> image)
        : base_(base), image_(image), covered_(image.size()), overlapped_(image.size()) {}

    bool Data(std::uint64_t address, std::span<const std::uint8_t> bytes, std::size_t) override {
        const auto offset = static_cast<std::size_t>(address - base_);
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            image_[offset + k] = bytes[k];
            if (covered_[offset + k]) {
                overlapped_[offset + k] = true;
            }
            covered_[offset + k] = true;
        }
        return true;
    }

    static std::vector<ImageRange> Runs(const std::vector<bool>& marks, bool value) {
        std::vector<ImageRange> runs;
        for (std::size_t i = 0; i < marks.size();) {
            if (marks[i] != value) {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < marks.size() && marks[i] == value) {
                ++i;
            }
            runs.push_back({start, i - start});
        }
        return runs;
    }

    void Describe(FirmwareLayout& layout) const {
        layout.dataBytes =
            static_cast<std::size_t>(std::count(covered_.begin(), covered_.end(), true));
        layout.gaps = Runs(covered_, false);
        layout.overlaps = Runs(overlapped_, true);
    }

  private:
    std::uint64_t base_;
    std::span<std::uint8_t> image_;
    std::vector<bool> covered_;
    std::vector<bool> overlapped_;
};

}  // namespace

FirmwareFormat DetectFormat(std::span<const std::uint8_t> content) {
    static constexpr std::uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
    if (content.size() >= 4 &&
        std::equal(std::begin(kElfMagic), std::end(kElfMagic), content.begin())) {
        return FirmwareFormat::Elf;
    }
    if (!IsText(content)) {
        return FirmwareFormat::Unknown;
    }
    if (FirstVisible(content) == ':') {
        return FirmwareFormat::IntelHex;
    }
    return HasSRecordLine(content) ? FirmwareFormat::SRecord : FirmwareFormat::Unknown;
}

FirmwareLoad LoadFirmware(std::span<const std::uint8_t> content, std::uint32_t baseAddress,
                          std::span<std::uint8_t> buffer) {
    const FirmwareFormat format = DetectFormat(content);
    const auto reader = ReaderFor(format);
    if (!reader) {
        return NotFirmware(content);
    }
    ExtentSink extent(format, baseAddress, buffer.size());
    if (auto refusal = reader->Read(content, extent)) {
        return *refusal;
    }
    if (extent.Refusal()) {
        return *extent.Refusal();
    }
    if (extent.Size() == 0) {
        // Flashing it would erase the units and write nothing.
        return FirmwareRefusal{FirmwareProblem::NoData, format, 0, std::nullopt, "no data records"};
    }

    FirmwareLayout layout;
    layout.format = format;
    layout.baseAddress = baseAddress;
    layout.size = extent.Size();
    layout.recordCounts = extent.TakeCounts();
    const auto image = buffer.first(layout.size);
    std::fill(image.begin(), image.end(), std::uint8_t{0xFF});
    PlacingSink placing(baseAddress, image);
    // The same content read again: it passed the first time, so it passes now.
    reader->Read(content, placing);
    placing.Describe(layout);
    return layout;
}

FirmwareContent ReadFirmwareContent(std::FILE* file) {
    const auto unreadable = [](std::string detail) {
        return FirmwareRefusal{FirmwareProblem::FormatInvalid, FirmwareFormat::Unknown, 0,
                               std::nullopt, std::move(detail)};
    };
    if (file == nullptr) {
        return unreadable("the file is not open");
    }
    std::rewind(file);
    std::vector<std::uint8_t> content;
    std::uint8_t block[16384];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        content.insert(content.end(), block, block + got);
        if (content.size() > kMaxFirmwareFileBytes) {
            return unreadable("the file is larger than 64 MiB");
        }
        if (got < sizeof block) {
            break;
        }
    }
    // A failing stream must never pass for a complete file.
    if (std::ferror(file)) {
        return unreadable("the file could not be read to its end");
    }
    return content;
}

}  // namespace vantrel
