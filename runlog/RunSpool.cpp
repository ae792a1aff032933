#include "runlog/RunSpool.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vantrel {
namespace {

QJsonValue Optional(const std::optional<std::string>& value) {
    return value ? QJsonValue(QString::fromStdString(*value)) : QJsonValue();
}

QJsonValue Optional(const std::optional<std::int64_t>& value) {
    return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue();
}

QJsonValue Optional(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

std::string Text(const QJsonObject& object, const char* name) {
    return object[name].toString().toStdString();
}

std::optional<std::string> OptionalText(const QJsonObject& object, const char* name) {
    return object[name].isString() ? std::optional(Text(object, name)) : std::nullopt;
}

std::optional<std::int64_t> OptionalNumber(const QJsonObject& object, const char* name) {
    return object[name].isDouble() ? std::optional<std::int64_t>(object[name].toInteger())
                                   : std::nullopt;
}

bool Sync(QFile& file) {
    if (!file.flush()) {
        return false;
    }
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return fsync(file.handle()) == 0;
#endif
}

}  // namespace

std::string RunRecordLine(const RunRecord& run) {
    QJsonArray units;
    for (const UnitRecord& u : run.units) {
        units.append(QJsonObject{
            {"com_port", QString::fromStdString(u.comPort)},
            {"device", QString::fromStdString(u.device)},
            {"by_id_path", Optional(u.byIdPath)},
            {"usb_serial", Optional(u.usbSerial)},
            {"result", QString::fromStdString(u.result)},
            {"failed_stage", Optional(u.failedStage)},
            {"failed_text", Optional(u.failedText)},
            {"duration_ms", Optional(u.durationMs)},
            {"cause", Optional(u.cause)},
        });
    }
    const QJsonObject object{
        {"key", QString::fromStdString(run.key)},
        {"started_at", QString::fromStdString(run.startedAt)},
        {"finished_at", QString::fromStdString(run.finishedAt)},
        {"station", QString::fromStdString(run.station)},
        {"operator", QString::fromStdString(run.operatorName)},
        {"tool_version", QString::fromStdString(run.toolVersion)},
        {"rom_path", QString::fromStdString(run.romPath)},
        {"rom_sha256", Optional(run.romSha256)},
        {"rom_bytes", Optional(run.romBytes)},
        {"base_address", QString::fromStdString(run.baseAddress)},
        {"baud", run.baud},
        {"outcome", QString::fromStdString(run.outcome)},
        {"exit_code", run.exitCode},
        {"units", units},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<RunRecord> RunRecordFromLine(const std::string& line) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    const QJsonObject object = document.object();
    if (!document.isObject() || !object["key"].isString() || !object["units"].isArray()) {
        return std::nullopt;
    }
    RunRecord run;
    run.key = Text(object, "key");
    run.startedAt = Text(object, "started_at");
    run.finishedAt = Text(object, "finished_at");
    run.station = Text(object, "station");
    run.operatorName = Text(object, "operator");
    run.toolVersion = Text(object, "tool_version");
    run.romPath = Text(object, "rom_path");
    run.romSha256 = OptionalText(object, "rom_sha256");
    run.romBytes = OptionalNumber(object, "rom_bytes");
    run.baseAddress = Text(object, "base_address");
    run.baud = object["baud"].toInt();
    run.outcome = Text(object, "outcome");
    run.exitCode = object["exit_code"].toInt();
    for (const QJsonValue& value : object["units"].toArray()) {
        const QJsonObject u = value.toObject();
        UnitRecord unit;
        unit.comPort = Text(u, "com_port");
        unit.device = Text(u, "device");
        unit.byIdPath = OptionalText(u, "by_id_path");
        unit.usbSerial = OptionalText(u, "usb_serial");
        unit.result = Text(u, "result");
        if (const auto stage = OptionalNumber(u, "failed_stage")) {
            unit.failedStage = static_cast<int>(*stage);
        }
        unit.failedText = OptionalText(u, "failed_text");
        unit.durationMs = OptionalNumber(u, "duration_ms");
        unit.cause = OptionalText(u, "cause");
        run.units.push_back(unit);
    }
    return run;
}

QString RunSpool::PathFor(const std::string& shownTarget) {
#ifdef Q_OS_WIN
    const QString state = qEnvironmentVariable("LOCALAPPDATA", QDir::homePath());
#else
    const QString state =
        qEnvironmentVariable("XDG_STATE_HOME", QDir::homePath() + QStringLiteral("/.local/state"));
#endif
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(shownTarget), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return state + QStringLiteral("/vantrel/spool-") + QString::fromLatin1(digest) +
           QStringLiteral(".jsonl");
}

bool RunSpool::Append(const RunRecord& record, std::string& error) {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QFile file(path_);
    const QByteArray line = QByteArray::fromStdString(RunRecordLine(record)) + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size() ||
        !Sync(file)) {
        error = "cannot write " + path_.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

std::vector<RunRecord> RunSpool::Pending(std::string& error) const {
    std::vector<RunRecord> records;
    QFile file(path_);
    if (!file.exists()) {
        return records;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path_.toStdString() + ": " + file.errorString().toStdString();
        return records;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty()) {
            continue;
        }
        if (auto record = RunRecordFromLine(line.toStdString())) {
            records.push_back(std::move(*record));
        } else {
            // A line cut by a crash mid-write: the records around it still count.
            error = path_.toStdString() + " line " + std::to_string(lineNumber) +
                    " is not a record and is left out";
        }
    }
    return records;
}

bool RunSpool::Keep(const std::vector<RunRecord>& records, std::string& error) {
    if (records.empty()) {
        if (QFile::exists(path_) && !QFile::remove(path_)) {
            error = "cannot remove " + path_.toStdString();
            return false;
        }
        return true;
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path_.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    for (const RunRecord& record : records) {
        file.write(QByteArray::fromStdString(RunRecordLine(record)) + '\n');
    }
    if (!file.commit()) {
        error = "cannot write " + path_.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace vantrel
