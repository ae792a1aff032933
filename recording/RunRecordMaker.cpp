#include "recording/RunRecordMaker.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QtGlobal>

#include "engine/UnitStage.h"
#include "runlog/IsoTime.h"
#include "runlog/WriterProcess.h"
#include "settings/PortLabel.h"
#include "settings/ProgramIdentity.h"

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

std::string LoginName() {
#ifdef Q_OS_WIN
    return qEnvironmentVariable("USERNAME").toStdString();
#else
    // getlogin needs a controlling terminal, which a station's service may lack.
    if (const char* name = getlogin()) {
        return name;
    }
    if (const passwd* entry = getpwuid(getuid())) {
        return entry->pw_name;
    }
    return qEnvironmentVariable("USER").toStdString();
#endif
}

std::optional<std::string> ToStd(const std::optional<QString>& text) {
    return text ? std::optional<std::string>(text->toStdString()) : std::nullopt;
}

}  // namespace

StationNames DefaultStationNames(const std::optional<std::string>& station,
                                 const std::optional<std::string>& operatorName) {
    return {station.value_or(QSysInfo::machineHostName().toStdString()),
            operatorName ? *operatorName : LoginName()};
}

RunRecord MakeRunRecord(const RunSummary& summary, const StationNames& names,
                        const DeviceLookup& lookup) {
    RunRecord run;
    run.key = summary.runKey;
    run.startedAt = IsoUtc(summary.startedAt);
    run.finishedAt = IsoUtc(summary.finishedAt);
    run.station = names.station;
    run.operatorName = names.operatorName;
    run.toolVersion = kProgramVersion;
    // As typed it could name another file tomorrow.
    run.romPath =
        QFileInfo(QString::fromStdString(summary.romPath)).absoluteFilePath().toStdString();
    run.romSha256 = summary.romSha256;
    run.romBytes = summary.romFileBytes;
    run.baseAddress = summary.baseAddress;
    run.baud = summary.baud;
    run.outcome = OutcomeName(summary.outcome);
    run.exitCode = summary.ExitCode();
    const WriterProcess writer = ThisProcess();
    run.host = writer.host;
    run.pid = writer.pid;
    for (const UnitResult& unit : summary.units) {
        UnitRecord record;
        record.comPort = PortLabel(unit.port);
        record.device = unit.device;
        const DeviceIdentity identity = lookup(QString::fromStdString(unit.device));
        record.byIdPath = ToStd(identity.byIdPath);
        record.usbSerial = ToStd(identity.usbSerial);
        record.result = UnitResultName(summary, unit);
        if (record.result == kNotFlashedResult &&
            (summary.outcome == RunOutcome::Stopped || summary.interrupted)) {
            record.failedText = "Stopped before flashing: " + summary.stopText;
        }
        if (record.result == kFailedResult) {
            record.failedStage = unit.endStage;
            if (!unit.status.empty()) {
                record.failedText = unit.status;
            }
        }
        if (!unit.cause.empty()) {
            record.cause = unit.cause;
        }
        if (summary.Flashed()) {
            record.durationMs = unit.durationMs;
        }
        run.units.push_back(record);
    }
    return run;
}

RunRecord MakeRunningRecord(const RunSummary& summary, const StationNames& names,
                            const DeviceLookup& lookup) {
    RunRecord run = MakeRunRecord(summary, names, lookup);
    run.finishedAt.clear();
    run.outcome = kRunningOutcome;
    run.exitCode = -1;
    for (UnitRecord& unit : run.units) {
        unit.result = kUnknownResult;
        unit.failedStage.reset();
        unit.failedText.reset();
        unit.durationMs.reset();
    }
    return run;
}

}  // namespace vantrel
