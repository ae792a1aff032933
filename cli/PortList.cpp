#include "cli/PortList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>

#include "serial/PortMapping.h"
#include "settings/PortLabel.h"

namespace vantrel::cli {
namespace {

constexpr std::size_t kColumns = 7;
using Row = std::array<QString, kColumns>;

QString OrDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QStringList ComNames(const PortMapping& mapping, const DetectedPort& port) {
    QStringList names;
    for (const int com : MappedComPorts(mapping, port)) {
        names << QString::fromStdString(PortLabel(com));
    }
    return names;
}

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

}  // namespace

std::string PortListText(const std::vector<DetectedPort>& ports, const PortMapping& mapping) {
    if (ports.empty()) {
        return "no serial ports found\n";
    }
    std::vector<Row> rows = {
        {"DEVICE", "COM", "VID:PID", "SERIAL", "MANUFACTURER", "DESCRIPTION", "BY-ID"}};
    for (const DetectedPort& port : ports) {
        rows.push_back({port.device, OrDash(ComNames(mapping, port).join(',')),
                        OrDash(VidPid(port)), OrDash(port.serialNumber), OrDash(port.manufacturer),
                        OrDash(port.description), OrDash(port.stableLink)});
    }
    std::array<qsizetype, kColumns> width{};
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < kColumns; ++column) {
            width[column] = std::max(width[column], row[column].size());
        }
    }
    std::string text;
    for (const Row& row : rows) {
        QString line;
        for (std::size_t column = 0; column + 1 < kColumns; ++column) {
            line += row[column].leftJustified(width[column] + 2);
        }
        line += row[kColumns - 1];
        text += line.toStdString() + '\n';
    }
    return text;
}

std::string PortListJson(const std::vector<DetectedPort>& ports, const PortMapping& mapping) {
    QJsonArray list;
    for (const DetectedPort& port : ports) {
        list.append(QJsonObject{
            {"device", port.device},
            {"by_id", TextOrNull(port.stableLink)},
            {"description", port.description},
            {"manufacturer", port.manufacturer},
            {"serial_number", port.serialNumber},
            {"vid_pid", TextOrNull(VidPid(port))},
            {"com", QJsonArray::fromStringList(ComNames(mapping, port))},
        });
    }
    return QJsonDocument(QJsonObject{{"ports", list}}).toJson().toStdString();
}

}  // namespace vantrel::cli
