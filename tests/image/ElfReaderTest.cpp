#include "image/ElfReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/image/RecordingSink.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing::Piece;
using Recorder = testing::RecordingSink;

struct Segment {
    std::uint32_t type;
    std::uint64_t paddr;
    Bytes data;
    std::uint64_t bss = 0;
};

// Writes a field in the byte order the image's identification names.
void Put(Bytes& elf, std::size_t at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        elf[elf[5] == 2 ? at + size - 1 - i : at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    }
}

// A linked program: header, program headers, then each segment's data. The run address differs
// from the load address, so a reader taking the wrong one is caught.
Bytes MakeElf(bool is64, bool bigEndian, const std::vector<Segment>& segments) {
    const std::size_t header = is64 ? 64 : 52, entry = is64 ? 56 : 32, word = is64 ? 8 : 4;
    Bytes elf(header + entry * segments.size());
    elf[0] = 0x7F, elf[1] = 'E', elf[2] = 'L', elf[3] = 'F';
    elf[4] = is64 ? 2 : 1, elf[5] = bigEndian ? 2 : 1, elf[6] = 1;
    Put(elf, 16, 2, 2);
    Put(elf, 20, 1, 4);
    Put(elf, is64 ? 32 : 28, header, word);
    Put(elf, is64 ? 54 : 42, entry, 2);
    Put(elf, is64 ? 56 : 44, segments.size(), 2);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        const std::size_t at = header + i * entry;
        const std::size_t offset = at + (is64 ? 8 : 4);  // then vaddr, paddr, filesz, memsz
        Put(elf, at, s.type, 4);
        Put(elf, offset, elf.size(), word);
        Put(elf, offset + word, s.paddr ^ 0x80000000, word);
        Put(elf, offset + 2 * word, s.paddr, word);
        Put(elf, offset + 3 * word, s.data.size(), word);
        Put(elf, offset + 4 * word, s.data.size() + s.bss, word);
        elf.insert(elf.end(), s.data.begin(), s.data.end());
    }
    return elf;
}

TEST(ElfReader, HandsLoadableFileBytesAtTheirLoadAddress) {
    for (const bool is64 : {false, true}) {
        SCOPED_TRACE(is64 ? "ELF64 little-endian" : "ELF32 big-endian");
        const std::uint64_t high = is64 ? 0x100000000 : 0;  // only 64-bit fields reach past 4 GiB
        const Bytes elf = MakeElf(is64, !is64,
                                  {{1, high + 0xC10000, {1, 2, 3, 4}},
                                   {4, 0, {9, 9}},
                                   {1, high + 0xC10004, {5, 6}, 16},
                                   {1, high + 0xC20000, {}, 32}});
        Recorder sink;
        const auto refusal = ElfReader().Read(elf, sink);
        ASSERT_FALSE(refusal) << refusal->detail;
        EXPECT_EQ(sink.pieces, (std::vector<Piece>{{high + 0xC10000, {1, 2, 3, 4}, 0},
                                                   {high + 0xC10004, {5, 6}, 0}}));
        EXPECT_EQ(sink.kinds, std::vector<std::string>(3, "PT_LOAD"));
    }
}

TEST(ElfReader, RefusesMalformedOrCutFiles) {
    using enum FirmwareProblem;
    const FirmwareFormat kElf = FirmwareFormat::Elf;
    const struct {
        bool is64;
        void (*damage)(Bytes&);
        FirmwareProblem problem;
        std::string detail;
        std::optional<std::uint64_t> address = std::nullopt;
    } cases[] = {
        {false, [](Bytes& e) { e[1] = 'X'; }, FormatInvalid, "not an ELF file"},
        {false, [](Bytes& e) { e = Bytes(2, 'M'); }, FormatInvalid, "not an ELF file"},
        {false, [](Bytes& e) { e.resize(3); }, Truncated, "file ends inside the ELF header"},
        {true, [](Bytes& e) { e.resize(63); }, Truncated, "file ends inside the ELF header"},
        {false, [](Bytes& e) { e[4] = 3; }, FormatInvalid, "ELF class 3 is neither 32- nor 64-bit"},
        {false, [](Bytes& e) { e[5] = 0; }, FormatInvalid,
         "ELF byte order 0 is neither little- nor big-endian"},
        {true, [](Bytes& e) { e[6] = 2; }, FormatInvalid, "ELF version 2 is not 1"},
        {true, [](Bytes& e) { Put(e, 20, 0, 4); }, FormatInvalid, "ELF version 0 is not 1"},
        {false, [](Bytes& e) { e.resize(52 + 95); }, Truncated,
         "program header table runs past the end of the file"},
        {true, [](Bytes& e) { Put(e, 32, ~0ull, 8); }, Truncated,
         "program header table runs past the end of the file"},
        {false, [](Bytes& e) { Put(e, 42, 31, 2); }, FormatInvalid,
         "program header size 31 is below 32"},
        {true, [](Bytes& e) { Put(e, 56, 0, 2); }, FormatInvalid,
         "no program headers: an object file, not a linked program"},
        {false, [](Bytes& e) { Put(e, 44, 0xFFFF, 2); }, FormatInvalid, "too many program headers"},
        {false, [](Bytes& e) { e.pop_back(); }, Truncated,
         "segment 3 runs past the end of the file", 0xC10004},
        {true, [](Bytes& e) { Put(e, 64 + 2 * 56 + 8, ~0ull - 1, 8); }, Truncated,
         "segment 3 runs past the end of the file", 0xC10004},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.detail);
        Bytes elf = MakeElf(c.is64, !c.is64,
                            {{1, 0xC10000, {1, 2, 3, 4}}, {4, 0, {9}}, {1, 0xC10004, {5, 6}}});
        c.damage(elf);
        Recorder sink;
        const auto refusal = ElfReader().Read(elf, sink);
        ASSERT_TRUE(refusal);
        EXPECT_EQ(std::tie(refusal->problem, refusal->format, refusal->detail, refusal->address),
                  std::tie(c.problem, kElf, c.detail, c.address));
    }
}

TEST(ElfReader, NothingLoadableOrAStoppingSink) {
    Recorder sink;
    EXPECT_FALSE(ElfReader().Read(MakeElf(true, true, {{4, 0, {9}}, {1, 0x1000, {}, 8}}), sink));
    EXPECT_TRUE(sink.pieces.empty());
    EXPECT_EQ(sink.kinds, std::vector<std::string>{"PT_LOAD"});

    Recorder stopping;
    stopping.stopAfter = 1;
    EXPECT_FALSE(ElfReader().Read(MakeElf(false, false, {{1, 0, {1}}, {1, 1, {2}}}), stopping));
    EXPECT_EQ(stopping.pieces.size(), 1u);
}

}  // namespace
}  // namespace vantrel
