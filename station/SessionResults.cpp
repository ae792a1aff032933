#include "station/SessionResults.h"

#include <QCryptographicHash>
#include <QUuid>

#include "engine/UnitStage.h"

namespace vantrel {

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

RunSummary BeginRunSummary(const std::string& romPath, const std::string& baseAddress, int baud,
                           const std::vector<std::pair<int, QString>>& units) {
    RunSummary summary;
    summary.startedAt = std::chrono::system_clock::now();
    summary.runKey = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    summary.baud = baud;
    summary.romPath = romPath;
    summary.baseAddress = baseAddress;
    for (const auto& [port, device] : units) {
        summary.units.push_back({port, device.toStdString(), {}, false});
    }
    return summary;
}

void TakeUnitResults(RunSummary& summary, LoaderState& state, SerialLink& link,
                     const std::function<QString(int port)>& statusOf) {
    summary.unitsTouched = state.BytesSent();
    for (UnitResult& unit : summary.units) {
        unit.status = statusOf(unit.port).toStdString();
        const PortSlot& slot = state.Port(unit.port);
        unit.complete = summary.outcome == RunOutcome::Completed && slot.selected.load() &&
                        slot.stage.load() == kFwLoadComplete;
        const int failedAt = slot.failedAt.load();
        unit.endStage = failedAt >= 0 ? failedAt : slot.stage.load();
        unit.cause = link.Port(unit.port).LostCause().toStdString();
    }
}

}  // namespace vantrel
