#include "tools/unitsim/CommandLine.h"

#include <QCommandLineParser>
#include <algorithm>
#include <charconv>

#include "engine/MonitorPackets.h"

namespace vantrel::sim {
namespace {

constexpr std::uint64_t kMaxFlashSize = 64ull * 1024 * 1024;
constexpr std::uint64_t kMaxMilliseconds = 3'600'000;

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, int base) {
    std::uint64_t value = 0;
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || code != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view StripHexPrefix(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return text.substr(2);
    }
    return text;
}

// Decimal, or hex with 0x; an optional K or M multiplies by 1024 or 1024 * 1024.
std::optional<std::uint64_t> ParseSize(std::string_view text) {
    std::uint64_t scale = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) {
        scale = 1024;
        text.remove_suffix(1);
    } else if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) {
        scale = 1024 * 1024;
        text.remove_suffix(1);
    }
    const std::string_view digits = StripHexPrefix(text);
    const auto value = ParseUnsigned(digits, digits.size() == text.size() ? 10 : 16);
    if (!value || *value > kMaxFlashSize) {
        return std::nullopt;
    }
    return *value * scale;
}

// The rates SetBaudRate can select, and 9600 for a unit that keeps the monitor's speed.
bool IsUnitRate(std::uint64_t baud) {
    return baud == 9600 ||
           std::find(kUnitLineSpeeds.begin(), kUnitLineSpeeds.end(), baud) != kUnitLineSpeeds.end();
}

ParsedCommandLine Fail(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
    QStringList arguments{QStringLiteral("vantrel-unitsim")};
    for (std::string_view arg : args) {
        arguments.append(QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size())));
    }
    QCommandLineParser parser;
    parser.addOptions({QCommandLineOption(QStringList{"h", "help"}), QCommandLineOption("fast"),
                       QCommandLineOption("quiet"), QCommandLineOption("spin")});
    for (const char* name : {"dir", "count", "erase-ms", "write-ms", "flash-base", "flash-size",
                             "max-baud", "fault"}) {
        parser.addOption(QCommandLineOption(name, {}, "value"));
    }
    if (!parser.parse(arguments)) {
        return Fail(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Fail("unknown option '" + parser.positionalArguments().front().toStdString() + "'");
    }

    ProgramOptions options;
    options.help = parser.isSet("help");
    options.fast = parser.isSet("fast");
    options.quiet = parser.isSet("quiet");
    options.spin = parser.isSet("spin");
    std::string error;
    // Hands each value of an option to take, in the order typed; the first it refuses is told.
    const auto each = [&](const char* name, const std::string& hint, const auto& take) {
        for (const QString& text : parser.values(name)) {
            const std::string value = text.toStdString();
            std::string why = hint;
            if (error.empty() && !take(std::string_view(value), why)) {
                error = "bad value '" + value + "' for --" + name + why;
            }
        }
    };
    each("dir", "", [&](std::string_view value, std::string&) {
        options.dir = value;
        return !value.empty();
    });
    each("count", " (1 to " + std::to_string(kMaxUnits) + ")", [&](std::string_view value, auto&) {
        const auto count = ParseUnsigned(value, 10);
        options.count = static_cast<unsigned>(count.value_or(0));
        return count && *count >= 1 && *count <= kMaxUnits;
    });
    for (const char* name : {"erase-ms", "write-ms"}) {
        auto& target = name == std::string_view("erase-ms") ? options.eraseTime : options.writeTime;
        each(name, "", [&](std::string_view value, auto&) {
            const auto ms = ParseUnsigned(value, 10);
            target = std::chrono::milliseconds(ms.value_or(0));
            return ms && *ms <= kMaxMilliseconds;
        });
    }
    each("flash-base", " (hex address)", [&](std::string_view value, auto&) {
        const auto base = ParseUnsigned(StripHexPrefix(value), 16);
        options.flashBase = static_cast<std::uint32_t>(base.value_or(0));
        return base && *base <= 0xFFFFFFFFull;
    });
    each("flash-size", " (1 byte to 64M)", [&](std::string_view value, auto&) {
        const auto size = ParseSize(value);
        options.flashSize = static_cast<std::uint32_t>(size.value_or(0));
        return size && *size != 0 && *size <= kMaxFlashSize;
    });
    each("max-baud", " ([U:]N, N one of 9600, " + UnitLineSpeedChoices() + ")",
         [&](std::string_view value, auto&) {
             const auto colon = value.find(':');
             const bool forOne = colon != value.npos;
             const auto unit = forOne ? ParseUnsigned(value.substr(0, colon), 10) : std::nullopt;
             const auto baud = ParseUnsigned(forOne ? value.substr(colon + 1) : value, 10);
             if ((forOne && (!unit || *unit == 0)) || !baud || !IsUnitRate(*baud)) {
                 return false;
             }
             const auto rate = static_cast<std::uint32_t>(*baud);
             (forOne ? options.unitMaxBaud[static_cast<unsigned>(*unit)] : options.maxBaud) = rate;
             return true;
         });
    each("fault", " (UNIT:KIND[:K], e.g. 2:silent or 3:demon-stop:5)",
         [&](std::string_view value, std::string& why) {
             const auto colon = value.find(':');
             const auto unit = ParseUnsigned(value.substr(0, colon), 10);
             if (colon == value.npos || !unit || *unit == 0) {
                 return false;
             }
             const auto fault = ParseFault(value.substr(colon + 1), &why);
             if (fault) {
                 options.faults[static_cast<unsigned>(*unit)].push_back(*fault);
             } else {
                 why = ": " + why;
             }
             return fault.has_value();
         });
    if (!error.empty()) {
        return Fail(error);
    }
    if (std::uint64_t{options.flashBase} + options.flashSize > 0x1'0000'0000ull) {
        return Fail("the flash must end below 4 GiB");
    }
    for (const auto& [unit, faults] : options.faults) {
        if (unit > options.count) {
            return Fail("--fault for unit " + std::to_string(unit) + ", but there are only " +
                        std::to_string(options.count));
        }
    }
    for (const auto& [unit, baud] : options.unitMaxBaud) {
        if (unit > options.count) {
            return Fail("--max-baud for unit " + std::to_string(unit) + ", but there are only " +
                        std::to_string(options.count));
        }
    }
    return {options, {}};
}

std::string UsageText(std::string_view program) {
    std::string text = "Usage: " + std::string(program) + " [options]\n";
    text += R"(
Starts simulated units on pseudo-terminals, links DIR/com1 .. DIR/comN to them and prints one
line per unit: its name, link and slave path. Runs until SIGINT or SIGTERM, then writes for each
unit DIR/comN.rom (the written range of its flash as S3 records, 32 data bytes each, from the
lowest to the highest address written since the last erase) and DIR/comN.json (what it saw).
SIGUSR1 power-cycles every unit (back to the application; the flash keeps its contents).

Options:
  --dir DIR          where the links and results go (made if missing;
                     default: a new directory under $TMPDIR or /tmp)
  --count N          number of units, 1 to 64 (default 1)
  --fault U:KIND[:K] a fault for unit U (repeatable); KIND is one of
                       silent            never answers
                       demon-stop:K      no ACK from Demon chunk K on
                       fw-stop:K         no ACK from firmware chunk K on
                       demon-double-ack:K  two ACKs for Demon chunk K
                       fw-double-ack:K   two ACKs for firmware chunk K
                       slow-erase        erase takes 25 s (the loader waits 20 s)
                       noise[:N]         N rubbish bytes before each ACK (default 3)
                       demon-hangup:K    closes the line at Demon chunk K
                       hangup:K          closes the line at firmware chunk K
  --erase-ms MS      erase time (default 1500; 0 with --fast)
  --write-ms MS      write time per firmware chunk (default 2; 0 with --fast)
  --flash-base HEX   flash start address (default 00C10000)
  --flash-size SIZE  flash size in bytes, 0x.. hex or with K/M (default 640K)
  --max-baud [U:]N   highest rate SetBaudRate may select: 9600, 38400, 57600 or 115200
                     (default); N alone is for every unit, U:N for unit U (repeatable, wins
                     over N). Asked for a faster rate, the unit stays at its old speed, so it
                     does not hear the erase and keeps its firmware
  --fast             no line time: bytes and ACKs cross the line at once
  --quiet            do not print protocol errors and events as they happen
  --spin             never sleep: look at the lines without pause, as a unit polls its UART,
                     so the units answer on time to the microsecond (for benchmarks; takes
                     one CPU core)
  --help             this text
)";
    return text;
}

BenchOptions MakeBenchOptions(const ProgramOptions& options) {
    BenchOptions bench;
    bench.count = options.count;
    bench.dir = options.dir;
    bench.unit = options.fast ? UnitOptions::Fast() : UnitOptions{};
    if (options.eraseTime) {
        bench.unit.eraseTime = *options.eraseTime;
    }
    if (options.writeTime) {
        bench.unit.writeTime = *options.writeTime;
    }
    bench.unit.flashBase = options.flashBase;
    bench.unit.flashSize = options.flashSize;
    bench.unit.maxBaud = options.maxBaud;
    bench.maxBaud = options.unitMaxBaud;
    bench.faults = options.faults;
    bench.spin = options.spin;
    return bench;
}

}  // namespace vantrel::sim
