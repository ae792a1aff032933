#include "tools/unitsim/UnitReport.h"

#include <cstdio>

#include "image/SRecordWriter.h"

namespace vantrel::sim {
namespace {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonHex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "\"0x%08X\"", value);
    return text;
}

std::string JsonBool(bool value) {
    return value ? "true" : "false";
}

std::string JsonList(const std::vector<std::string>& texts) {
    if (texts.empty()) {
        return "[]";
    }
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i == 0 ? "\n    " : ",\n    ") + JsonString(texts[i]);
    }
    return out + "\n  ]";
}

}  // namespace

std::string_view StateName(UnitState state) {
    switch (state) {
        case UnitState::Application:
            return "application";
        case UnitState::Monitor:
            return "monitor";
        case UnitState::DemonRunning:
            return "demon-running";
        case UnitState::Erased:
            return "erased";
    }
    return "unknown";
}

bool UnitReport::Reached(UnitState s) const {
    switch (s) {
        case UnitState::Application:
            return true;
        case UnitState::Monitor:
            return reachedMonitor;
        case UnitState::DemonRunning:
            return reachedDemon;
        case UnitState::Erased:
            return reachedErased;
    }
    return false;
}

std::span<const std::uint8_t> UnitReport::WrittenRange() const {
    if (!lowestWritten || !highestWritten) {
        return {};
    }
    return std::span(flash).subspan(*lowestWritten - flashBase,
                                    *highestWritten - *lowestWritten + 1);
}

std::string FlashSRecords(const UnitReport& report) {
    return FormatS3Records(report.WrittenRange(), report.lowestWritten.value_or(report.flashBase));
}

std::string ReportJson(const UnitReport& report) {
    std::vector<std::string> faults;
    for (const auto& fault : report.faults) {
        faults.push_back(FaultText(fault));
    }
    std::string json = "{\n";
    const auto field = [&json](std::string_view name, const std::string& value) {
        json += "  " + JsonString(name) + ": " + value + ",\n";
    };
    field("unit", JsonString(report.name));
    field("link", JsonString(report.linkPath));
    field("slave", JsonString(report.slavePath));
    field("faults", JsonList(faults));
    field("state", JsonString(StateName(report.state)));
    field("reachedMonitor", JsonBool(report.reachedMonitor));
    field("reachedDemon", JsonBool(report.reachedDemon));
    field("reachedErased", JsonBool(report.reachedErased));
    field("eraseInProgress", JsonBool(report.eraseInProgress));
    field("hungUp", JsonBool(report.hungUp));
    field("baud", std::to_string(report.baud));
    field("lastLine", JsonString(report.lastLine));
    field("bytesReceived", std::to_string(report.bytesReceived));
    field("enquiries", std::to_string(report.enquiries));
    field("demonChunks", std::to_string(report.demonChunks));
    field("firmwareChunks", std::to_string(report.firmwareChunks));
    field("erases", std::to_string(report.erases));
    field("acksSent", std::to_string(report.acksSent));
    field("noiseBytesIgnored", std::to_string(report.noiseBytesIgnored));
    field("noiseBytesSent", std::to_string(report.noiseBytesSent));
    field("bytesDropped", std::to_string(report.bytesDropped));
    field("flashBase", JsonHex(report.flashBase));
    field("flashSize", std::to_string(report.flash.size()));
    field("flashBytesWritten", std::to_string(report.flashBytesWritten));
    field("lowestWritten", report.lowestWritten ? JsonHex(*report.lowestWritten) : "null");
    field("highestWritten", report.highestWritten ? JsonHex(*report.highestWritten) : "null");
    field("events", JsonList(report.events));
    json += "  \"protocolErrors\": " + JsonList(report.protocolErrors) + "\n}\n";
    return json;
}

}  // namespace vantrel::sim
