#include "image/IntelHexReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/image/RecordingSink.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing::Piece;
using Recorder = testing::RecordingSink;

// A record with a matching count and checksum.
std::string Rec(unsigned type, unsigned offset, Bytes data) {
    data.insert(data.begin(),
                {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
                 static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(type)});
    std::string out = ":";
    unsigned sum = 0;
    char digits[3];
    for (std::uint8_t byte : data) {
        sum += byte;
        out += (std::snprintf(digits, sizeof digits, "%02X", byte), digits);
    }
    return out + (std::snprintf(digits, sizeof digits, "%02X", -sum & 0xFF), digits);
}

const std::string kEof = ":00000001FF";

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\n";
    }
    return out;
}

std::optional<FirmwareRefusal> Read(const std::string& text, Recorder& sink) {
    return IntelHexReader().Read({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                 sink);
}

TEST(IntelHexReader, PlacesDataByTheLastBaseRecord) {
    const Bytes d = {1, 2, 3, 4};
    const struct {
        std::string text;
        std::vector<Piece> pieces;
    } cases[] = {
        {"", {}},
        {" \r\n\t\n", {}},
        {Lines({Rec(0, 0xFFFE, d), kEof}), {{0xFFFE, d, 1}}},
        {Lines({Rec(4, 0, {0xFF, 0xFF}), Rec(0, 0xFFFF, d), kEof}), {{0xFFFFFFFF, d, 2}}},
        {Lines({Rec(2, 0, {0xFF, 0xFF}), Rec(0, 0xFFFE, d), kEof}),
         {{0x10FFEE, {1, 2}, 2}, {0xFFFF0, {3, 4}, 2}}},
        {Lines({Rec(2, 0, {0x10, 0}), Rec(4, 0, {0, 2}), Rec(0, 0xFFFE, d), kEof}),
         {{0x2FFFE, d, 3}}},
        {Lines({Rec(4, 0, {0, 2}), Rec(2, 0, {0x10, 0}), Rec(0, 0x10, d), kEof}),
         {{0x10010, d, 3}}},
        // A second file after the first's end starts from base 0 again.
        {Lines({Rec(4, 0, {0, 0xC1}), kEof, Rec(0, 0x10, d), kEof}), {{0x10, d, 3}}},
        {" \t:0400ab000102030447 \r\n \r\n" + Rec(0, 0x20, {}) + "\r" + kEof, {{0xAB, d, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Recorder sink;
        const auto refusal = Read(c.text, sink);
        ASSERT_FALSE(refusal) << refusal->detail;
        EXPECT_EQ(sink.pieces, c.pieces);
    }
}

TEST(IntelHexReader, RefusesWithLineAndAddress) {
    using enum FirmwareProblem;
    const FirmwareFormat kHex = FirmwareFormat::IntelHex;
    std::string badData = Rec(0, 0x10, {1, 2}), badBase = Rec(2, 0, {0x10, 0});
    badData[10] = '3';
    badBase[10] = '1';
    const struct {
        std::string text;
        FirmwareProblem problem;
        std::size_t line;
        std::optional<std::uint64_t> address;
        std::string detail;
    } cases[] = {
        {Lines({Rec(4, 0, {0, 0xC1}), badData}), ChecksumInvalid, 2, 0xC10010,
         "checksum EB does not match the record (it should be E9)"},
        {"\r\r\n" + badBase,
         ChecksumInvalid,
         3,
         {},
         "checksum EC does not match the record (it should be EB)"},
        {Lines({kEof, "\t", "S00F0000"}), FormatInvalid, 3, {}, "line does not start with ':'"},
        {"  :0200100001G2EB", FormatInvalid, 1, {}, "character 14 is not a hex digit"},
        {kEof + kEof, FormatInvalid, 1, {}, "character 12 is not a hex digit"},
        {Rec(0, 0, {1}) + "0",
         FormatInvalid,
         1,
         {},
         "byte count 01 does not match the record's length"},
        {":00000001F", FormatInvalid, 1, {}, "record is too short"},
        {Rec(4, 0, {0, 0xC1, 0}),
         FormatInvalid,
         1,
         {},
         "extended linear address record (04) must carry 2 bytes, not 3"},
        {Rec(1, 0, {0}), FormatInvalid, 1, {}, "end-of-file record (01) must carry 0 bytes, not 1"},
        {Rec(6, 0, {}), FormatInvalid, 1, {}, "record type 06 is not an Intel HEX type"},
        {Lines({Rec(0, 0, {1}), " "}), Truncated, 1, {}, "no end-of-file record"},
        {Lines({kEof, Rec(0, 0, {1})}), Truncated, 2, {}, "no end-of-file record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Recorder sink;
        const auto refusal = Read(c.text, sink);
        ASSERT_TRUE(refusal);
        EXPECT_EQ(std::tie(refusal->problem, refusal->format, refusal->line, refusal->address,
                           refusal->detail),
                  std::tie(c.problem, kHex, c.line, c.address, c.detail));
    }
}

TEST(IntelHexReader, CountsEveryRecordAndStopsWhenTheSinkSaysSo) {
    Recorder sink;
    sink.stopAfter = 1;  // inside a record split at the segment wrap
    EXPECT_FALSE(Read(Lines({Rec(3, 0, {0, 0, 0, 0}), Rec(5, 0, {0, 1, 2, 3}), Rec(2, 0, {0, 0}),
                             Rec(0, 0xFFFF, {1, 2}), "bad"}),
                      sink));
    EXPECT_EQ(sink.pieces, (std::vector<Piece>{{0xFFFF, {1}, 4}}));
    EXPECT_EQ(sink.kinds, (std::vector<std::string>{"03", "05", "02", "00"}));
}

}  // namespace
}  // namespace vantrel
