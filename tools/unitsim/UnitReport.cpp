#include "tools/unitsim/UnitReport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "image/SRecordWriter.h"

namespace vantrel::sim {
namespace {

QString Hex(std::uint32_t value) {
    return "0x" + QString::number(value, 16).toUpper().rightJustified(8, '0');
}

QJsonArray Texts(const std::vector<std::string>& texts) {
    QJsonArray array;
    for (const std::string& text : texts) {
        array.append(QString::fromStdString(text));
    }
    return array;
}

QString Sha256(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return {};
    }
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QString::fromLatin1(QCryptographicHash::hash(view, QCryptographicHash::Sha256).toHex());
}

QJsonValue Seconds(std::optional<double> seconds) {
    return seconds ? QJsonValue(*seconds) : QJsonValue();
}

QJsonObject ReportObject(const UnitReport& report) {
    std::vector<std::string> faults;
    for (const auto& fault : report.faults) {
        faults.push_back(FaultText(fault));
    }
    const auto count = [](std::uint64_t value) { return static_cast<qint64>(value); };
    const auto text = [](std::string_view value) {
        return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    };
    return QJsonObject{
        {"unit", text(report.name)},
        // "unit" names the port, so the unit's number there goes by another name.
        {"instance", count(report.unit)},
        {"plugged_s", report.pluggedSeconds},
        {"pulled_s", Seconds(report.pulledSeconds)},
        {"finished_s", Seconds(report.finishedSeconds)},
        {"link", text(report.linkPath)},
        {"slave", text(report.slavePath)},
        {"faults", Texts(faults)},
        {"state", text(StateName(report.state))},
        {"reachedMonitor", report.reachedMonitor},
        {"reachedDemon", report.reachedDemon},
        {"reachedErased", report.reachedErased},
        {"eraseInProgress", report.eraseInProgress},
        {"hungUp", report.hungUp},
        {"baud", count(report.baud)},
        {"lastLine", text(report.lastLine)},
        {"bytesReceived", count(report.bytesReceived)},
        {"enquiries", count(report.enquiries)},
        {"demonChunks", count(report.demonChunks)},
        {"firmwareChunks", count(report.firmwareChunks)},
        {"erases", count(report.erases)},
        {"acksSent", count(report.acksSent)},
        {"noiseBytesIgnored", count(report.noiseBytesIgnored)},
        {"noiseBytesSent", count(report.noiseBytesSent)},
        {"bytesDropped", count(report.bytesDropped)},
        {"flashBase", Hex(report.flashBase)},
        {"flashSize", count(report.flashSize)},
        {"flashBytesWritten", count(report.flashBytesWritten)},
        {"lowestWritten",
         report.lowestWritten ? QJsonValue(Hex(*report.lowestWritten)) : QJsonValue()},
        {"highestWritten",
         report.highestWritten ? QJsonValue(Hex(*report.highestWritten)) : QJsonValue()},
        {"written_sha256", Sha256(report.WrittenRange())},
        {"events", Texts(report.events)},
        {"protocolErrors", Texts(report.protocolErrors)},
    };
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
    return QJsonDocument(ReportObject(report)).toJson().toStdString();
}

std::string ReportsJson(std::span<const UnitReport> reports) {
    QJsonArray array;
    for (const UnitReport& report : reports) {
        array.append(ReportObject(report));
    }
    return QJsonDocument(array).toJson().toStdString();
}

}  // namespace vantrel::sim
