#include "tools/unitsim/CommandLine.h"

#include <QCommandLineParser>
#include <algorithm>
#include <charconv>
#include <limits>

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

// Seconds with up to three decimals, e.g. "2" or "0.25", as milliseconds.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == text.npos ? std::string_view() : text.substr(point + 1);
    if (point != text.npos && (fraction.empty() || fraction.size() > 3)) {
        return std::nullopt;
    }
    const auto seconds = ParseUnsigned(whole, 10);
    std::string thousandths(fraction);
    thousandths.resize(3, '0');
    const auto milliseconds = ParseUnsigned(thousandths, 10);
    if (!seconds || !milliseconds || *seconds > kMaxMilliseconds / 1000 ||
        *seconds * 1000 + *milliseconds > kMaxMilliseconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(*seconds * 1000 + *milliseconds);
}

// "S" or "MIN-MAX" in seconds.
std::optional<Range> ParseRange(std::string_view text) {
    const auto dash = text.find('-');
    const auto min = ParseSeconds(text.substr(0, dash));
    const auto max = dash == text.npos ? min : ParseSeconds(text.substr(dash + 1));
    if (!min || !max || *max < *min) {
        return std::nullopt;
    }
    return Range{*min, *max};
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
                             "max-baud", "fault", "plug", "seed", "operator"}) {
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
    each("fault", " (U[#N]:KIND[:K], e.g. 2:silent, 3:demon-stop:5 or 2#1:fw-stop:5)",
         [&](std::string_view value, std::string& why) {
             const auto colon = value.find(':');
             const std::string_view where = value.substr(0, colon);
             const auto hash = where.find('#');
             const auto unit = ParseUnsigned(where.substr(0, hash), 10);
             // 0: every unit at the port; N: its N-th unit only.
             const std::uint64_t instance =
                 hash == where.npos ? 0 : ParseUnsigned(where.substr(hash + 1), 10).value_or(0);
             if (colon == value.npos || !unit || *unit == 0 || *unit > kMaxUnits ||
                 (hash != where.npos &&
                  (instance == 0 || instance > std::numeric_limits<unsigned>::max()))) {
                 return false;
             }
             const auto fault = ParseFault(value.substr(colon + 1), &why);
             const auto port = static_cast<unsigned>(*unit);
             if (fault && instance != 0) {
                 options.instanceFaults[{port, static_cast<unsigned>(instance)}].push_back(*fault);
             } else if (fault) {
                 options.faults[port].push_back(*fault);
             } else {
                 why = ": " + why;
             }
             return fault.has_value();
         });
    each("plug", " (AWAY:BACK in seconds, each S or MIN-MAX, e.g. 1-3:0.5-2)",
         [&](std::string_view value, auto&) {
             const auto colon = value.find(':');
             const auto away = ParseRange(value.substr(0, colon));
             const auto back =
                 colon == value.npos ? std::nullopt : ParseRange(value.substr(colon + 1));
             if (away && back) {
                 options.plug = PlugPlan{*away, *back, 1};
             }
             return away && back;
         });
    std::uint32_t seed = 1;
    each("seed", "", [&](std::string_view value, auto&) {
        const auto number = ParseUnsigned(value, 10);
        seed = static_cast<std::uint32_t>(number.value_or(0));
        return number && *number <= 0xFFFFFFFFull;
    });
    each("operator", " (seconds per swap)", [&](std::string_view value, auto&) {
        options.operatorSwap = ParseSeconds(value);
        return options.operatorSwap.has_value();
    });
    if (!error.empty()) {
        return Fail(error);
    }
    if (options.plug && options.operatorSwap) {
        return Fail("--plug and --operator exclude each other: units come at random or by hand");
    }
    if (options.plug) {
        options.plug->seed = seed;
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
    for (const auto& [key, faults] : options.instanceFaults) {
        if (key.first > options.count) {
            return Fail("--fault for unit " + std::to_string(key.first) + ", but there are only " +
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
lowest to the highest address written since the last erase) and DIR/comN.json (what it saw),
both of the last unit plugged at the port, and DIR/comN-units.json (a JSON array of the reports
of every unit plugged there, in order). SIGUSR1 power-cycles every unit (back to the
application; the flash keeps its contents). SIGUSR2 pulls every unit and plugs a fresh one.

Units can come and go at their ports: a unit pulled answers nothing and the bytes sent to it
are lost; a fresh one (numbered 2, 3, ... at its port) has old firmware in its flash. A unit has
finished once it took a Demon chunk and then no frame for 1 s (the loader's probes do not count).
One that has not taken the Demon 30 s after it came is given up then: pulled (--plug) or
queued (--operator).

Options:
  --dir DIR          where the links and results go (made if missing;
                     default: a new directory under $TMPDIR or /tmp)
  --count N          number of units, 1 to 64 (default 1)
  --fault U:KIND[:K] a fault for every unit at port U (repeatable); U#N:KIND[:K] for the N-th
                     unit plugged there only (e.g. 2#1:fw-stop:5); KIND is one of
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
  --plug AWAY:BACK   pull each unit AWAY seconds after it finished and plug a fresh one BACK
                     seconds later; each S or a random MIN-MAX, decimals allowed
                     (e.g. 1-3:0.5-2); every port on its own
  --seed N           the random times' seed (default 1); port U draws from N + U
  --operator SWAP    one operator swaps finished units, one port at a time, first finished
                     first served, SWAP seconds from pull to plug; not with --plug
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
    bench.instanceFaults = options.instanceFaults;
    bench.plug = options.plug;
    bench.operatorSwap = options.operatorSwap;
    bench.spin = options.spin;
    return bench;
}

}  // namespace vantrel::sim
