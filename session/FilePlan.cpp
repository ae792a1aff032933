#include "session/FilePlan.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <cstdio>
#endif

namespace vantrel {

RomFile OpenRomForReading(const QString& path) {
    // A folder opens as a stream on some platforms but is never a ROM file.
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        errno = EISDIR;
        return nullptr;
    }
#ifdef Q_OS_WIN
    return RomFile(::_wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"rb"));
#else
    return OpenRomFileForReading(QFile::encodeName(path).toStdString());
#endif
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

FilePlan PlanFile(LoaderState& state, std::FILE* file, const BatchRequest& request) {
    static const std::string kRomOpenFailed = "The ROM file could not be opened!";
    FilePlan result;
    if (file == nullptr) {
        result.plan = BatchRefusal{BatchRefusal::Kind::FileNotOpened, kRomOpenFailed, std::nullopt,
                                   std::strerror(errno)};
        return result;
    }
    const FirmwareContent content = ReadFirmwareContent(file);
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&content)) {
        result.fileSha256 = Sha256Hex(*bytes);
        result.fileBytes = static_cast<std::int64_t>(bytes->size());
    }
    auto plan =
        PlanRun(state, content, request.baseAddressText, request.demonBaud, request.demonText);
    if (auto* refusal = std::get_if<PlanRefusal>(&plan)) {
        const auto kind = !refusal->firmware ? (refusal->message.starts_with("Demon")
                                                    ? BatchRefusal::Kind::Demon
                                                    : BatchRefusal::Kind::BaseAddress)
                                             : BatchRefusal::Kind::Firmware;
        result.plan = BatchRefusal{kind, refusal->message, refusal->firmware, {}};
        return result;
    }
    RunPlan& runPlan = std::get<RunPlan>(plan);
    runPlan.romPathText = request.romPathText;
    result.plan = runPlan;
    return result;
}

std::vector<UnitResult> UnitResultsOf(const RunResult& run,
                                      const std::vector<std::pair<int, std::string>>& units,
                                      const std::function<std::string(int port)>& causeOf) {
    std::vector<UnitResult> results;
    for (const auto& [port, device] : units) {
        UnitResult unit{port, device, {}, false};
        for (const UnitRun& ran : run.units) {
            if (ran.port != port) {
                continue;
            }
            unit.status = ran.text;
            unit.complete = ran.complete;
            unit.endStage = ran.failedStage.value_or(ran.stage);
            if (ran.lastText != std::chrono::steady_clock::time_point{}) {
                unit.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      ran.lastText - run.started)
                                      .count();
            }
        }
        unit.cause = causeOf(port);
        results.push_back(unit);
    }
    return results;
}

}  // namespace vantrel
