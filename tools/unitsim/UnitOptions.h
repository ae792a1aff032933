#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DownloadSequence.h"

namespace vantrel::sim {

// What can go wrong with a unit. Chunk numbers count from 1, per kind of chunk.
enum class FaultKind {
    Silent,             // never puts a byte on the line
    DemonStop,          // no ACK for Demon chunk k and every later one
    FirmwareStop,       // no ACK for firmware chunk k and every later one
    DemonDoubleAck,     // Demon chunk k is acknowledged twice
    FirmwareDoubleAck,  // firmware chunk k is acknowledged twice
    SlowErase,          // the erase takes longer than the loader waits
    Noise,              // n bytes of rubbish before every ACK
    DemonHangup,        // closes its end of the line at Demon chunk k
    FirmwareHangup,     // closes its end of the line at firmware chunk k
};

struct Fault {
    FaultKind kind = FaultKind::Silent;
    // The chunk number k; for Noise the number of rubbish bytes; unused otherwise.
    unsigned count = 0;

    friend bool operator==(const Fault&, const Fault&) = default;
};

// The loader gives the erase 40 polls of 500 ms; this is comfortably more.
inline constexpr std::chrono::milliseconds kSlowEraseTime{25000};
inline constexpr unsigned kDefaultNoiseBytes = 3;

// Reads "silent", "demon-stop:5", "fw-stop:5", "demon-double-ack:3", "fw-double-ack:3",
// "slow-erase", "noise" or "noise:N", "demon-hangup:4", "hangup:4" (or "fw-hangup:4").
// On failure returns nothing and, when error is given, says why.
std::optional<Fault> ParseFault(std::string_view text, std::string* error = nullptr);
// The text ParseFault reads back to the same fault.
std::string FaultText(const Fault& fault);

struct UnitOptions {
    // Skips the time bytes spend on the line, both ways. Unit times below still apply.
    bool fast = false;
    std::chrono::milliseconds eraseTime = UnitTimes{}.erase;
    std::chrono::milliseconds writeTime = UnitTimes{}.write;  // per firmware chunk
    std::uint32_t flashBase = 0x00C10000;
    std::uint32_t flashSize = 640 * 1024;
    // The fastest rate SetBaudRate can select; asked for more, the unit keeps its speed.
    std::uint32_t maxBaud = 115200;
    std::vector<Fault> faults;

    // No line time and no unit time: for tests that only care about behaviour.
    static UnitOptions Fast() {
        UnitOptions options;
        options.fast = true;
        options.eraseTime = std::chrono::milliseconds(0);
        options.writeTime = std::chrono::milliseconds(0);
        return options;
    }
};

// Speed and parity bits as the unit sees them on the line.
struct LineSample {
    std::uint32_t baud = 0;
    bool parityEnable = false;
    bool parityOdd = false;

    friend bool operator==(const LineSample&, const LineSample&) = default;
};

// "9600,O" style text; the parity letter is what the bits suggest.
std::string LineSampleText(const LineSample& line);

}  // namespace vantrel::sim
