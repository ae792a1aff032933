#include "tools/unitsim/UnitOptions.h"

#include <array>
#include <charconv>

namespace vantrel::sim {
namespace {

struct FaultName {
    std::string_view name;
    FaultKind kind;
    bool needsCount;  // a chunk number must follow
};

constexpr std::array<FaultName, 10> kFaultNames = {{
    {"silent", FaultKind::Silent, false},
    {"demon-stop", FaultKind::DemonStop, true},
    {"fw-stop", FaultKind::FirmwareStop, true},
    {"demon-double-ack", FaultKind::DemonDoubleAck, true},
    {"fw-double-ack", FaultKind::FirmwareDoubleAck, true},
    {"slow-erase", FaultKind::SlowErase, false},
    {"noise", FaultKind::Noise, false},
    {"demon-hangup", FaultKind::DemonHangup, true},
    {"hangup", FaultKind::FirmwareHangup, true},
    {"fw-hangup", FaultKind::FirmwareHangup, true},
}};

std::optional<Fault> Fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return std::nullopt;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string* error) {
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const FaultName* entry = nullptr;
    for (const auto& candidate : kFaultNames) {
        if (candidate.name == name) {
            entry = &candidate;
        }
    }
    if (entry == nullptr) {
        return Fail(error, "unknown fault '" + std::string(name) + "'");
    }
    Fault fault{entry->kind, entry->kind == FaultKind::Noise ? kDefaultNoiseBytes : 0u};
    if (colon == std::string_view::npos) {
        if (entry->needsCount) {
            return Fail(error, "fault '" + std::string(name) + "' needs a chunk number, e.g. " +
                                   std::string(name) + ":3");
        }
        return fault;
    }
    const bool takesCount = entry->needsCount || entry->kind == FaultKind::Noise;
    const std::string_view number = text.substr(colon + 1);
    if (!takesCount) {
        return Fail(error, "fault '" + std::string(name) + "' takes no number");
    }
    unsigned value = 0;
    const auto [end, code] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || code != std::errc() || end != number.data() + number.size() ||
        value == 0) {
        // Appended rather than "'" + std::string: GCC 12 warns falsely about that insert.
        return Fail(error, std::string("'").append(number).append("' is not a number from 1 up"));
    }
    fault.count = value;
    return fault;
}

std::string FaultText(const Fault& fault) {
    for (const auto& entry : kFaultNames) {
        if (entry.kind != fault.kind) {
            continue;
        }
        std::string text(entry.name);
        if (entry.needsCount || (fault.kind == FaultKind::Noise && fault.count > 0)) {
            text += ':' + std::to_string(fault.count);
        }
        return text;
    }
    return "unknown";
}

std::string LineSampleText(const LineSample& line) {
    char parity = 'N';
    if (line.parityEnable || line.parityOdd) {
        parity = line.parityOdd ? 'O' : 'E';
    }
    return std::to_string(line.baud) + ',' + parity;
}

}  // namespace vantrel::sim
