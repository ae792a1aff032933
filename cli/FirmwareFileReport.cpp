#include "cli/FirmwareFileReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "cli/CliRunner.h"
#include "engine/MonitorPackets.h"
#include "engine/SequenceFloor.h"
#include "image/FirmwareMessages.h"
#include "image/ImageBuffer.h"
#include "results/RunSummary.h"
#include "session/FilePlan.h"

namespace vantrel::cli {
namespace {

QString Address(std::uint64_t address) {
    return QString::fromStdString(AddressText(address));
}

// "00C10123-00C1012F (13 bytes)"
QString RangeText(std::uint32_t base, const ImageRange& range) {
    return Address(base + range.offset) + "-" + Address(base + range.offset + range.length - 1) +
           " (" + QString::number(range.length) + (range.length == 1 ? " byte)" : " bytes)");
}

QJsonArray RangesJson(std::uint32_t base, const std::vector<ImageRange>& ranges) {
    QJsonArray out;
    for (const ImageRange& range : ranges) {
        out.append(QJsonObject{{"start", Address(base + range.offset)},
                               {"bytes", static_cast<qint64>(range.length)}});
    }
    return out;
}

QString RangesText(std::uint32_t base, const std::vector<ImageRange>& ranges) {
    if (ranges.empty()) {
        return "none";
    }
    QStringList parts;
    for (const ImageRange& range : ranges) {
        parts << RangeText(base, range);
    }
    return QString::number(ranges.size()) + ": " + parts.join(", ");
}

struct Inspection {
    const std::string& path;
    const CheckedFirmware& firmware;
    std::string imageSha256;
    std::size_t chunks = 0;
};

QJsonObject Json(const Inspection& inspection) {
    const FirmwareLayout& layout = inspection.firmware.layout;
    QJsonObject records;
    for (const auto& [kind, count] : layout.recordCounts) {
        records.insert(QString::fromStdString(kind), static_cast<qint64>(count));
    }
    QJsonObject seconds;
    for (const std::uint32_t baud : kUnitLineSpeeds) {
        seconds.insert(
            QString::number(baud),
            SequenceFloorMs(layout.size, 1, UnitTimes{}, static_cast<int>(baud)) / 1000.0);
    }
    return {
        {"file", QString::fromStdString(inspection.path)},
        {"would_flash", true},
        {"format", QString::fromStdString(std::string(FormatName(layout.format)))},
        {"records", records},
        {"base_address", Address(layout.baseAddress)},
        {"first_address", Address(layout.baseAddress)},
        {"last_address", Address(layout.baseAddress + layout.size - 1)},
        {"image_bytes", static_cast<qint64>(layout.size)},
        {"data_bytes", static_cast<qint64>(layout.dataBytes)},
        {"gaps", RangesJson(layout.baseAddress, layout.gaps)},
        {"overlaps", RangesJson(layout.baseAddress, layout.overlaps)},
        {"image_sha256", QString::fromStdString(inspection.imageSha256)},
        {"file_sha256", QString::fromStdString(inspection.firmware.fileSha256)},
        {"chunks", static_cast<qint64>(inspection.chunks)},
        {"expected_seconds", seconds},
    };
}

QString Text(const Inspection& inspection) {
    const FirmwareLayout& layout = inspection.firmware.layout;
    QStringList records;
    for (const auto& [kind, count] : layout.recordCounts) {
        records << QString::fromStdString(kind) + " " + QString::number(count);
    }
    QStringList times;
    for (const std::uint32_t baud : kUnitLineSpeeds) {
        const double ms = SequenceFloorMs(layout.size, 1, UnitTimes{}, static_cast<int>(baud));
        times << QString::number(baud) + " baud " +
                     QString::fromStdString(OneDecimal(ms / 1000.0)) + " s";
    }
    const auto line = [](const char* name, const QString& value) {
        return QString("%1 %2\n").arg(name, -10).arg(value);
    };
    return line("file", QString::fromStdString(inspection.path)) +
           line("format", QString::fromStdString(std::string(FormatName(layout.format)))) +
           line("records", records.join(", ")) +
           line("addresses",
                Address(layout.baseAddress) + "-" + Address(layout.baseAddress + layout.size - 1)) +
           line("image", QString::number(layout.size) + " bytes from the base address " +
                             Address(layout.baseAddress) + " (of " +
                             QString::number(kRomImageCapacity) + ", 640 KiB)") +
           line("data", QString::number(layout.dataBytes) + " bytes in records") +
           line("gaps", RangesText(layout.baseAddress, layout.gaps) +
                            (layout.gaps.empty() ? "" : ", sent as FF")) +
           line("overlaps", RangesText(layout.baseAddress, layout.overlaps) +
                                (layout.overlaps.empty() ? "" : ", the later record wins")) +
           line("image hash", QString::fromStdString(inspection.imageSha256) + " (SHA-256)") +
           line("file hash",
                QString::fromStdString(inspection.firmware.fileSha256) + " (SHA-256)") +
           line("chunks", QString::number(inspection.chunks) + " of up to " +
                              QString::number(kMaxChunkData) + " bytes") +
           line("time", times.join(", ") + " at best") + line("verdict", "would flash");
}

}  // namespace

int RunFirmwareFileReport(const InspectRequest& request, const std::string& baseAddressText,
                          std::ostream& out, std::ostream& err) {
    auto buffer = std::make_unique<RomImage>();
    const auto checked = CheckFirmwareFile(request.path, baseAddressText, *buffer);
    if (const auto* refusal = std::get_if<CliFailure>(&checked)) {
        if (request.json) {
            out << QJsonDocument(QJsonObject{{"file", QString::fromStdString(request.path)},
                                             {"would_flash", false},
                                             {"reason", QString::fromStdString(refusal->text)}})
                       .toJson()
                       .toStdString();
        }
        err << refusal->text << "\nnothing would be flashed\n";
        return kExitNothingFlashed;
    }
    const CheckedFirmware& firmware = std::get<CheckedFirmware>(checked);
    const FirmwareLayout& layout = firmware.layout;
    const Inspection inspection{request.path, firmware,
                                Sha256Hex(std::span(buffer->data(), layout.size)),
                                (layout.size + kMaxChunkData - 1) / kMaxChunkData};
    out << (request.json ? QJsonDocument(Json(inspection)).toJson().toStdString()
                         : Text(inspection).toStdString());
    return kExitAllComplete;
}

}  // namespace vantrel::cli
