// Flashes whole images into simulated units with true line timing and compares the time with
// three floors: the protocol's, the sequence's and the wire's. The units run in a separate
// vantrel-unitsim process, so the CPU time and peak memory printed are the loader's own.
//
//   flash_bench [--short] [--row KIB,UNITS,BAUD]... [--station] [--phases] [--sim PATH]
//     --short   16 KiB on 1 and 4 units, and on 4 at 115200 (under a minute), then the
//               station row on 2 ports with 4 KiB for 48 s
//     --row     only the rows given, e.g. --row 640,16,115200
//     --station only the station row
//     --phases  how long port 1 spent at each stage
//     default   16 KiB and 640 KiB on 1, 4 and 16 units, and 640 KiB on 16 at 115200, then the
//               station row: 16 ports, 640 KiB at 115200, an operator swapping a unit in 4 s,
//               10 minutes hands-free, beside lock-step batches with the same operator
#include <sys/resource.h>
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchProcesses.h"
#include "bench/StationRow.h"
#include "engine/SequenceFloor.h"
#include "image/SRecordWriter.h"
#include "session/HeadlessSession.h"
#include "settings/SettingsStore.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBase = 0x00C10000;
// The units work at the times the floors count.
constexpr vantrel::UnitTimes kUnitTimes{};
const int kEraseMs = static_cast<int>(kUnitTimes.erase.count());
const int kWriteMs = static_cast<int>(kUnitTimes.write.count());

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One line of the table.
struct Row {
    std::size_t romBytes = 0;
    int units = 1;
    int baud = 57600;
};

struct Result {
    Row row;
    double ms = 0;
    double floorMs = 0;
    double sequenceMs = 0;
    double wireMs = 0;
    double transferMs = 0;
    double transferCpuMs = 0;
    bool ok = false;
    QString lastPhase;
    std::vector<std::pair<QString, Clock::time_point>> phases;  // port 1's stage changes
};

std::vector<std::uint8_t> Image(std::size_t bytes) {
    std::vector<std::uint8_t> image(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 31 + 7) & 0xFF);
    }
    return image;
}

Result FlashOnce(const std::string& simulator, const Row& row, const fs::path& work) {
    const std::size_t romBytes = row.romBytes;
    const int units = row.units;
    const fs::path rom = work / "bench.rom";
    std::ofstream(rom) << vantrel::FormatS3Records(Image(romBytes), kBase);

    const bench::Simulator sim = bench::StartSimulator(simulator, units, work / "units");
    auto mapping = std::make_unique<vantrel::TablePortMapping>();
    for (int port = 1; port <= units; ++port) {
        mapping->Set(port,
                     QString::fromStdString((sim.dir / ("com" + std::to_string(port))).string()));
    }
    Result result;
    result.row = row;
    {
        vantrel::HeadlessSession session(std::move(mapping));
        for (int port = 1; port <= units; ++port) {
            session.Tick(port);
        }
        // The transfer starts with the firmware loop: progress goes back to 0.
        Clock::time_point transferStart{};
        double transferCpuStart = 0;
        int lastPosition = -1;
        vantrel::RecordingView::Callbacks callbacks;
        callbacks.status = [&](int port, const QString& text) {
            if (port == 1 && text != result.lastPhase) {
                const bool chunkText = text.endsWith("Cmd Ack") || text.endsWith("Cmd Sent");
                if (!chunkText || result.phases.empty() ||
                    !result.phases.back().first.endsWith("Cmd Ack")) {
                    result.phases.emplace_back(text, Clock::now());
                }
                result.lastPhase = text;
            }
        };
        callbacks.progress = [&](int position) {
            if (position == 0 && lastPosition == 100) {
                transferStart = Clock::now();
                transferCpuStart = CpuSeconds();
            }
            lastPosition = position;
        };
        session.View().KeepLatestOnly();
        session.View().SetCallbacks(std::move(callbacks));
        auto inputs = vantrel::HeadlessSession::Request(rom.string(),
                                                        vantrel::SettingsStore::kDefaultFwBaseAddr);
        inputs.demonBaud = row.baud;
        const auto start = Clock::now();
        const auto outcome = session.Run(std::move(inputs));
        const auto end = Clock::now();
        result.ms = std::chrono::duration<double, std::milli>(end - start).count();
        result.transferMs = std::chrono::duration<double, std::milli>(end - transferStart).count();
        result.transferCpuMs = (CpuSeconds() - transferCpuStart) * 1000;
        result.ok = outcome == vantrel::RunOutcome::Completed;
        for (int port = 1; port <= units; ++port) {
            result.ok = result.ok && session.View().Status(port) == "FW Load Complete";
        }
    }
    bench::Interrupt(sim.pid);
    result.floorMs = vantrel::ProtocolFloorMs(romBytes, units, kUnitTimes, row.baud);
    result.sequenceMs = vantrel::SequenceFloorMs(romBytes, units, kUnitTimes, row.baud);
    result.wireMs = vantrel::WireFloorMs(romBytes, kUnitTimes, row.baud);
    return result;
}

// The station's units per hour: hands-free against its ideal and against lock-step batches
// with the same operator. True when every unit came out right.
bool StationRow(const std::string& simulator, const std::string& cli,
                const bench::StationPlan& plan, std::size_t romBytes, const fs::path& work) {
    const Result batch = FlashOnce(simulator, {romBytes, plan.ports, plan.baud}, work);
    // A batch of a few units takes as long as one: the short row spares itself the run.
    const Result one =
        plan.ports <= 2 ? batch : FlashOnce(simulator, {romBytes, 1, plan.baud}, work);
    const std::vector<std::uint8_t> image = Image(romBytes);
    const fs::path rom = work / "station.rom";
    std::ofstream(rom) << vantrel::FormatS3Records(image, kBase);
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()),
                           static_cast<qsizetype>(image.size()));
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const bench::HandsFreeMeasure handsFree =
        bench::MeasureHandsFree(simulator, cli, plan, rom, sha, work);

    const double ideal = bench::IdealUnitsPerHour(plan, one.ms / 1000);
    const double lockStep = bench::LockStepUnitsPerHour(plan, batch.ms / 1000);
    std::printf(
        "\nstation: %d ports, %zu KiB at %d, one operator swapping a unit in %g s, %g s "
        "hands-free\n"
        "  one unit's flash %.2f s; a lock-step batch %.2f s; a hands-free unit from plug to "
        "last frame %.2f s (median)\n"
        "  units: %d finished, %d correct, %d erased twice\n"
        "  units/h: ideal %.1f, hands-free %.1f (%.4f of ideal), lock-step %.1f\n"
        "  hands-free ahead of lock-step: %.3f x, the model predicts %.3f x\n",
        plan.ports, romBytes / 1024, plan.baud, plan.swapSeconds, plan.seconds, one.ms / 1000,
        batch.ms / 1000, handsFree.medianUnitSeconds, handsFree.finished, handsFree.correct,
        handsFree.erasedTwice, ideal, handsFree.unitsPerHour, handsFree.unitsPerHour / ideal,
        lockStep, handsFree.unitsPerHour / lockStep, ideal / lockStep);
    const bool ok = one.ok && batch.ok && handsFree.erasedTwice == 0 && handsFree.everyPortCounted;
    std::printf("  ok: %s\n", ok ? "yes" : "NO");
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption shortOption("short", "Only the three short rows.");
    const QCommandLineOption phasesOption("phases", "How long port 1 spent at each stage.");
    const QCommandLineOption simOption("sim", "The unit simulator to run.", "PATH",
                                       VANTREL_UNITSIM_PATH);
    const QCommandLineOption rowOption("row", "Only this row (repeatable).", "KIB,UNITS,BAUD");
    const QCommandLineOption stationOption("station", "Only the station row.");
    const QCommandLineOption cliOption("cli", "The command line loader to watch with.", "PATH",
                                       VANTREL_CLI_PATH);
    parser.addOptions({shortOption, phasesOption, simOption, rowOption, stationOption, cliOption});
    std::vector<Row> chosen;
    bool rowsOk = parser.parse(app.arguments()) && parser.positionalArguments().isEmpty();
    for (const QString& text : rowsOk ? parser.values(rowOption) : QStringList()) {
        Row row;
        rowsOk = rowsOk && std::sscanf(qPrintable(text), "%zu,%d,%d", &row.romBytes, &row.units,
                                       &row.baud) == 3;
        row.romBytes *= 1024;
        chosen.push_back(row);
    }
    if (!rowsOk) {
        std::fprintf(
            stderr,
            "usage: %s [--short] [--row KIB,UNITS,BAUD]... [--station] [--phases] [--sim PATH]"
            " [--cli PATH]\n",
            argv[0]);
        return 2;
    }
    const bool shortMode = parser.isSet(shortOption);
    const bool showPhases = parser.isSet(phasesOption);
    const std::string simulator = parser.value(simOption).toStdString();
    const fs::path work = fs::temp_directory_path() / ("vantrel-bench-" + std::to_string(getpid()));
    fs::create_directories(work);

    constexpr std::size_t kSmall = 16 * 1024;
    constexpr std::size_t kLarge = 640 * 1024;
    std::vector<Row> rows = {{kSmall, 1}, {kSmall, 4}};
    if (parser.isSet(stationOption)) {
        rows.clear();
    } else if (!chosen.empty()) {
        rows = chosen;
    } else if (shortMode) {
        rows.push_back({kSmall, 4, 115200});
    } else {
        rows.insert(rows.end(),
                    {{kSmall, 16}, {kLarge, 1}, {kLarge, 4}, {kLarge, 16}, {kLarge, 16, 115200}});
    }
    std::printf(
        "floor: the protocol's floor: every byte and ACK at its line speed, the unit's erase and\n"
        "       write times, each acknowledged wait rounded up to its poll interval, the fixed\n"
        "       pauses and 2 ms per port at each change of line settings\n"
        "seq:   the sequence's floor: the wire's floor plus the fixed pauses and the pauses at\n"
        "       changes of line settings; what a loader that looks the moment an ACK is in "
        "reaches\n"
        "wire:  the wire's floor: every byte and ACK at its line speed plus the unit's erase and\n"
        "       write times; no poll rounding, no pauses\n"
        "units: erase %d ms, write %d ms per chunk; vs 57600: time over the same row at 57600\n\n",
        kEraseMs, kWriteMs);
    std::printf("%-8s %5s %6s %9s %9s %7s %9s %7s %9s %7s %9s %8s %7s %s\n", "image", "units",
                "baud", "time s", "floor s", "ratio", "seq s", "ratio", "wire s", "ratio",
                "vs 1 unit", "vs 57600", "cpu %", "ok");
    bool allOk = true;
    std::vector<Result> results;
    const auto find = [&results](std::size_t romBytes, int units) -> const Result* {
        for (const Result& r : results) {
            if (r.row.romBytes == romBytes && r.row.units == units && r.row.baud == 57600) {
                return &r;
            }
        }
        return nullptr;
    };
    for (const Row& row : rows) {
        const Result r = FlashOnce(simulator, row, work);
        results.push_back(r);
        const double cpuPercent = r.transferMs > 0 ? 100.0 * r.transferCpuMs / r.transferMs : 0.0;
        char versusOne[16] = "";
        char versusSlow[16] = "";
        if (const Result* one = find(row.romBytes, 1); one != nullptr && row.baud == 57600) {
            std::snprintf(versusOne, sizeof versusOne, "%+.2f%%",
                          100.0 * (r.ms - one->ms) / one->ms);
        }
        const Result* slow = row.baud != 57600 ? find(row.romBytes, row.units) : nullptr;
        if (slow != nullptr) {
            std::snprintf(versusSlow, sizeof versusSlow, "%.4f", r.ms / slow->ms);
        }
        std::printf("%-8s %5d %6d %9.2f %9.2f %7.4f %9.2f %7.4f %9.2f %7.4f %9s %8s %7.2f %s\n",
                    (std::to_string(row.romBytes / 1024) + " KiB").c_str(), row.units, row.baud,
                    r.ms / 1000, r.floorMs / 1000, r.ms / r.floorMs, r.sequenceMs / 1000,
                    r.ms / r.sequenceMs, r.wireMs / 1000, r.ms / r.wireMs, versusOne, versusSlow,
                    cpuPercent, r.ok ? "yes" : "NO");
        if (showPhases && !r.phases.empty()) {
            for (std::size_t i = 0; i + 1 < r.phases.size(); ++i) {
                std::printf("    %-22s %9.1f ms\n", r.phases[i].first.toUtf8().constData(),
                            std::chrono::duration<double, std::milli>(r.phases[i + 1].second -
                                                                      r.phases[i].second)
                                .count());
            }
        }
        if (slow != nullptr) {
            // What the floors expect of the faster line, beside what it gave.
            std::printf("    vs 57600: time %.4f, floor %.4f, seq %.4f, wire %.4f\n",
                        r.ms / slow->ms, r.floorMs / slow->floorMs, r.sequenceMs / slow->sequenceMs,
                        r.wireMs / slow->wireMs);
        }
        std::fflush(stdout);
        allOk = allOk && r.ok;
    }
    std::printf("peak memory of the loader: %ld KiB\n", PeakKiB());
    if (chosen.empty()) {
        const bench::StationPlan plan =
            shortMode ? bench::StationPlan{2, 115200, 4, 48} : bench::StationPlan{};
        allOk = StationRow(simulator, parser.value(cliOption).toStdString(), plan,
                           shortMode ? 4 * 1024 : kLarge, work) &&
                allOk;
    }
    fs::remove_all(work);
    return allOk ? 0 : 1;
}
