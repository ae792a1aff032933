#include "tools/screenshot/StationShot.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <set>

#include "serial/PortMapping.h"
#include "settings/SettingsStore.h"
#include "tools/screenshot/ShotSupport.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"
#include "ui/StationDialog.h"

namespace {

using namespace vantrel;

constexpr unsigned kUnits = 8;

// Keeps the batch's summary instead of showing it, so it can be drawn on its own.
class SummaryKeeper : public MessagePresenter {
  public:
    BoxResult Present(const BoxRequest& request) override {
        summary = request.text;
        return BoxResult::Ok;
    }
    void CloseOpenBox() override {}
    QString summary;
};

// Every unit's port mapped and ticked, station mode set as given.
void SetUpStation(SettingsStore& settings, const sim::UnitBench& bench,
                  const StationSettings& station) {
    QStringList ports;
    for (unsigned unit = 1; unit <= kUnits; ++unit) {
        settings.WriteString(SettingsPortMapping::kSection,
                             SettingsPortMapping::ValueName(static_cast<int>(unit)),
                             QString::fromStdString(bench.LinkPath(unit)));
        ports << QString::number(unit);
    }
    WriteStationSettings(settings, station);
    settings.WriteString(SettingsStore::kStationSection, SettingsStore::kStationPortsValue,
                         ports.join(','));
}

}  // namespace

int ShootStation(const QString& folder) {
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vantrel-XXXXXX"));
    if (!dir.isValid()) {
        return 1;
    }
    sim::BenchOptions options;
    options.count = kUnits;
    options.unit = sim::UnitOptions::Fast();
    // Two silent units side by side show the summary's grouping; one stops mid-firmware.
    options.faults[3] = {{sim::FaultKind::Silent}};
    options.faults[4] = {{sim::FaultKind::Silent}};
    options.faults[7] = {*sim::ParseFault("fw-stop:5")};
    sim::UnitBench bench(options);

    CLoaderApp app(QStringLiteral("/opt/Vantrel/Vantrel"), dir.filePath("settings.ini"));
    SummaryKeeper boxes;
    app.SetMessagePresenter(&boxes);
    SettingsStore& settings = app.Settings();
    SetUpStation(
        settings, bench,
        {true, dir.filePath("line1.sqlite"), QStringLiteral("line1-st3"), QStringLiteral("ann")});
    const QString rom = dir.filePath("firmware.rom");
    if (!shot::WriteRom(rom, std::vector<std::uint8_t>(8 * 1024, 0x5A))) {
        return 1;
    }

    SettingsPortMapping mapping(settings);
    CLoaderDialog window(app, mapping);
    window.show();
    FindControl<QLineEdit>(window, ids::kRomPath)->setText(rom);
    FindControl<QPushButton>(window, ids::kStart)->click();
    if (!shot::ProcessUntil([&] { return !boxes.summary.isEmpty(); }, 120000) ||
        window.Station() == nullptr) {
        std::fprintf(stderr, "vantrel-screenshot: the batch never ended\n");
        return 1;
    }
    bool saved = shot::SavePng(window.grab(), folder + QStringLiteral("/station-batch.png"));

    QMessageBox summary(QMessageBox::Warning, app.ApplicationName(), boxes.summary, QMessageBox::Ok,
                        &window);
    summary.show();
    QApplication::processEvents();
    saved = shot::SavePng(summary.grab(), folder + QStringLiteral("/station-summary.png")) && saved;

    CStationDialog station(
        window.Station()->Settings(), &window.Station()->Tally(), false,
        [](const QString&) { return false; }, &window);
    station.show();
    QApplication::processEvents();
    saved = shot::SavePng(station.grab(), folder + QStringLiteral("/station-dialog.png")) && saved;
    return ShootHandsFree(folder) == 0 && saved ? 0 : 1;
}

int ShootHandsFree(const QString& folder) {
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vantrel-XXXXXX"));
    if (!dir.isValid()) {
        return 1;
    }
    // At the line's own pace, so that flashing shows; ports 4 and 5 get their units later,
    // port 6's unit fails, ports 7 and 8 stay empty.
    sim::BenchOptions options;
    options.count = kUnits;
    options.faults[6] = {*sim::ParseFault("fw-stop:3")};
    sim::UnitBench bench(options);
    for (const unsigned empty : {4u, 5u, 7u, 8u}) {
        bench.Unit(empty).Pull();
    }

    CLoaderApp app(QStringLiteral("/opt/Vantrel/Vantrel"), dir.filePath("settings.ini"));
    SummaryKeeper boxes;
    app.SetMessagePresenter(&boxes);
    SettingsStore& settings = app.Settings();
    SetUpStation(settings, bench,
                 {true, dir.filePath("line1.sqlite"), QStringLiteral("line1-st3"),
                  QStringLiteral("ann"), true});
    const QString rom = dir.filePath("firmware.rom");
    if (!shot::WriteRom(rom, std::vector<std::uint8_t>(48 * 1024, 0x5A))) {
        return 1;
    }
    SettingsPortMapping mapping(settings);
    CLoaderDialog window(app, mapping);
    window.show();
    FindControl<QLineEdit>(window, ids::kRomPath)->setText(rom);
    FindControl<QPushButton>(window, ids::kStart)->click();
    const auto row = [&](unsigned port) {
        return FindControl<QLineEdit>(window, ids::kPortStatus.at(port - 1))->text();
    };
    // A unit done with stays in its fixture, awake: its row asks for it to be removed.
    std::set<unsigned> woken;
    const auto wakeTheDone = [&] {
        for (const unsigned done : {1u, 2u, 3u, 6u}) {
            if (row(done).contains(QStringLiteral("remove the unit")) &&
                woken.insert(done).second) {
                bench.Unit(done).PowerCycle();
            }
        }
    };
    const auto flashingPast = [&](unsigned port, int percent) {
        const QString text = row(port);
        return text.startsWith(QStringLiteral("Flashing")) &&
               text.section(' ', 1, 1).toInt() >= percent;
    };
    shot::ProcessUntil(
        [&] {
            wakeTheDone();
            return flashingPast(1, 0);
        },
        60000);
    bench.Unit(4).Plug();
    shot::ProcessUntil(
        [&] {
            wakeTheDone();
            return flashingPast(4, 0);
        },
        60000);
    // Port 5's unit comes as port 4's firmware starts: it is still taking the Demon then.
    bench.Unit(5).Plug();
    const bool ready = shot::ProcessUntil(
        [&] {
            wakeTheDone();
            return woken.size() == 4 && flashingPast(4, 40) &&
                   row(5).startsWith(QStringLiteral("Demon"));
        },
        120000);
    if (!ready) {
        std::fprintf(stderr, "vantrel-screenshot: the hands-free station never got there\n");
        for (unsigned port = 1; port <= kUnits; ++port) {
            std::fprintf(stderr, "  COM%u: %s\n", port, qPrintable(row(port)));
        }
        return 1;
    }
    return shot::SavePng(window.grab(), folder + QStringLiteral("/station-hands-free.png")) ? 0 : 1;
}
