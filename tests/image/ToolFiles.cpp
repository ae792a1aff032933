#include "tests/image/ToolFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vantrel::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kBase = 0x00C10000;

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 13 + seed) & 0xFF);
    }
    return bytes;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class Maker {
  public:
    explicit Maker(fs::path dir) : dir_(std::move(dir)) {}

    // Runs a command in the folder; a tool that fails stops the test data from being made.
    void Run(const std::string& command) const {
        const std::string line = "cd '" + dir_.string() + "' && { " + command + "; } 2>/dev/null";
        if (std::system(line.c_str()) != 0) {
            throw std::runtime_error("tool failed: " + command);
        }
    }
    void Accepted(const std::string& name, const std::string& command,
                  std::vector<std::uint8_t> image, std::uint32_t base = kBase) {
        Run(command);
        files_.push_back({name, dir_ / name, base, std::move(image), std::nullopt});
    }
    void Refused(const std::string& name, const std::string& command, FirmwareProblem problem) {
        Run(command);
        files_.push_back({name, dir_ / name, kBase, {}, problem});
    }
    fs::path Path(const std::string& name) const { return dir_ / name; }
    std::vector<ToolFile> Files() { return std::move(files_); }

  private:
    fs::path dir_;
    std::vector<ToolFile> files_;
};

// A program for a big-endian 32-bit target, its sections packed: "ab" in .rodata leaves one
// byte before the word-aligned .data.
constexpr const char* kAssembly =
    ".text\n.globl _start\n_start: .byte 1,2,3,4,5\n"
    ".section .rodata\n.ascii \"ab\"\n"
    ".data\n.balign 2\n.word 0x1234\n.long 0x89abcdef\n";

}  // namespace

std::vector<ToolFile> MakeToolFiles(const fs::path& dir) {
    Maker make(dir);
    const auto firmware = Pattern(3000, 5);
    const auto rebuilt = Pattern(3000, 9);
    WriteBytes(make.Path("fw.bin"), firmware);
    WriteBytes(make.Path("new.bin"), rebuilt);
    WriteBytes(make.Path("part.bin"), Pattern(100, 7));
    WriteBytes(make.Path("empty.bin"), {});
    std::ofstream(make.Path("fw.s")) << kAssembly;
    make.Run(
        "m68k-linux-gnu-as fw.s -o fw.o && m68k-linux-gnu-ld -N -Ttext=0x00C10000 fw.o -o fw.elf"
        " && m68k-linux-gnu-objcopy -O binary --gap-fill 0xff fw.elf fw-elf.bin"
        " && m68k-linux-gnu-objcopy -O binary fw.elf fw-segment.bin");
    // S-records hold the sections, so the alignment gap is erased flash; the ELF's segment
    // holds the linker's padding there.
    const auto linked = ReadBytes(make.Path("fw-elf.bin"));
    const auto segment = ReadBytes(make.Path("fw-segment.bin"));
    const std::string atBase = " --change-addresses 0xC10000 fw.bin ";

    make.Accepted("objcopy-bin.srec", "objcopy -I binary -O srec" + atBase + "objcopy-bin.srec",
                  firmware);
    make.Accepted("objcopy-bin-s3.srec",
                  "objcopy -I binary -O srec --srec-forceS3" + atBase + "objcopy-bin-s3.srec",
                  firmware);
    make.Accepted("objcopy-elf.srec", "m68k-linux-gnu-objcopy -O srec fw.elf objcopy-elf.srec",
                  linked);
    make.Accepted("objcopy-elf-s3.srec",
                  "m68k-linux-gnu-objcopy -O srec --srec-forceS3 fw.elf objcopy-elf-s3.srec",
                  linked);
    make.Accepted("linked.elf", "cp fw.elf linked.elf", segment);
    make.Accepted("srec_cat-s1.srec",
                  "srec_cat fw.bin -binary -offset 0x1000 -o srec_cat-s1.srec -motorola "
                  "-address-length=2",
                  firmware, 0x1000);
    for (const char* length : {"3", "4"}) {
        const std::string name = std::string("srec_cat-") + length + ".srec";
        make.Accepted(name,
                      "srec_cat fw.bin -binary -offset 0xC10000 -o " + name +
                          " -motorola -address-length=" + length,
                      firmware);
    }
    make.Accepted("objcopy.hex", "objcopy -I binary -O ihex" + atBase + "objcopy.hex", firmware);
    make.Accepted("srec_cat.hex", "srec_cat fw.bin -binary -offset 0xC10000 -o srec_cat.hex -intel",
                  firmware);
    auto gapped = Pattern(100, 7);
    gapped.resize(0x200, 0xFF);
    gapped.insert(gapped.end(), firmware.begin(), firmware.end());
    make.Accepted("gaps.srec",
                  "srec_cat part.bin -binary -offset 0xC10000 fw.bin -binary -offset 0xC10200 "
                  "-o gaps.srec -motorola -address-length=4",
                  gapped);
    // Two builds in one file, S3 then S2: the later build wins every byte.
    make.Accepted("mixed-overlap.srec",
                  "srec_cat new.bin -binary -offset 0xC10000 -o new.srec -motorola "
                  "-address-length=4 && cat new.srec objcopy-bin.srec > mixed-overlap.srec",
                  firmware);
    make.Accepted("repeated.hex", "cat objcopy.hex objcopy.hex > repeated.hex", firmware);

    make.Refused("empty.rom", ": > empty.rom", FirmwareProblem::NoData);
    make.Refused("no-data.srec", "srec_cat empty.bin -binary -o no-data.srec -motorola",
                 FirmwareProblem::NoData);
    make.Refused("raw.bin", "cp fw.bin raw.bin", FirmwareProblem::RawBinary);
    make.Refused("cut.srec", "head -n -1 objcopy-bin.srec > cut.srec", FirmwareProblem::Truncated);
    make.Refused("cut-count.srec",
                 "head -n 3 srec_cat-4.srec > cut-count.srec && tail -n 1 "
                 "srec_cat-4.srec >> cut-count.srec",
                 FirmwareProblem::Truncated);
    make.Refused("cut.hex", "head -n -1 objcopy.hex > cut.hex", FirmwareProblem::Truncated);
    make.Refused("cut.elf", "head -c 90 fw.elf > cut.elf", FirmwareProblem::Truncated);
    make.Refused("object.o", "cp fw.o object.o", FirmwareProblem::FormatInvalid);
    make.Refused("below-base.hex",
                 "objcopy -I binary -O ihex --change-addresses 0xC00000 fw.bin below-base.hex",
                 FirmwareProblem::BelowBase);
    make.Refused("fw.s", "true", FirmwareProblem::NotFirmware);
    return make.Files();
}

}  // namespace vantrel::testing
