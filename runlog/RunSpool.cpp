#include "runlog/RunSpool.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

#include "runlog/LocalFiles.h"
#include "runlog/RunLogError.h"

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

constexpr std::chrono::milliseconds kSpoolLockBound{1000};

std::string Shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace

std::string RunRecordLine(const RunRecord& run, const std::string& logName) {
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
        {"log", QString::fromStdString(logName)},
        {"host", QString::fromStdString(run.host)},
        {"pid", Optional(run.pid)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<ParsedRecordLine> RunRecordFromLine(const std::string& line) {
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
    run.host = Text(object, "host");
    run.pid = OptionalNumber(object, "pid");
    return ParsedRecordLine{std::move(run), OptionalText(object, "log")};
}

// Holds the spool's lock for one read or change.
class RunSpool::Locked {
  public:
    explicit Locked(const RunSpool& spool)
        : lock_(FileLock::Take(spool.path_ + QStringLiteral(".lock"),
                               LogDeadline(LogWaits{kSpoolLockBound, nullptr}),
                               "the spool " + Shown(spool.path_))) {}

  private:
    FileLock lock_;
};

RunSpool::RunSpool(QString path, std::string logName)
    : path_(std::move(path)), logName_(std::move(logName)) {}

QString RunSpool::PathFor(const std::string& logName) {
    return StateFileFor("spool", logName, ".jsonl");
}

void RunSpool::Append(const RunRecord& record) {
    const Locked lock(*this);
    // A line cut short by a crash must not swallow this record.
    if (!EndsWithLineBreak(path_)) {
        Tidy();
    }
    AppendSynced(path_, RunRecordLine(record, logName_) + '\n');
}

std::vector<SpooledRecord> RunSpool::Pending() {
    const Locked lock(*this);
    return Tidy();
}

void RunSpool::Remove(const std::vector<std::string>& lines) {
    const Locked lock(*this);
    std::map<std::string, int> written;
    for (const std::string& line : lines) {
        ++written[line];
    }
    std::string kept;
    for (const SpooledRecord& spooled : Tidy()) {
        if (auto found = written.find(spooled.line); found != written.end() && found->second > 0) {
            --found->second;
        } else {
            kept += spooled.line + '\n';
        }
    }
    ReplaceSynced(path_, kept);
}

std::vector<std::string> RunSpool::TakeNotices() {
    return std::exchange(notices_, {});
}

std::vector<SpooledRecord> RunSpool::Tidy() {
    const std::string content = ReadWholeFile(path_);
    std::vector<SpooledRecord> records;
    std::string kept;
    std::string aside;
    const auto setAside = [&](const std::string& line, const std::string& why) {
        aside += line + '\n';
        notices_.push_back(why + " in the spool " + Shown(path_) + ": set aside in " +
                           Shown(AsidePath()));
    };
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        const std::size_t end = content.find('\n', start);
        const std::string line =
            content.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos) {
            setAside(line, "a line cut short (a crash or a full disk leaves one)");
            continue;
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        auto parsed = RunRecordFromLine(line);
        if (!parsed) {
            setAside(line, "line " + std::to_string(number) + ", not a record,");
        } else if (parsed->logName && *parsed->logName != logName_) {
            setAside(line, "a record of the log " + *parsed->logName);
        } else {
            records.push_back({std::move(parsed->record), line});
            kept += line + '\n';
        }
    }
    if (!aside.empty()) {
        AppendSynced(AsidePath(), aside);
        ReplaceSynced(path_, kept);
    }
    return records;
}

}  // namespace vantrel
