#include "tools/screenshot/StationShot.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

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
    QStringList ports;
    for (unsigned unit = 1; unit <= kUnits; ++unit) {
        settings.WriteString(SettingsPortMapping::kSection,
                             SettingsPortMapping::ValueName(static_cast<int>(unit)),
                             QString::fromStdString(bench.LinkPath(unit)));
        ports << QString::number(unit);
    }
    WriteStationSettings(settings, {true, dir.filePath("line1.sqlite"), QStringLiteral("line1-st3"),
                                    QStringLiteral("ann")});
    settings.WriteString(SettingsStore::kStationSection, SettingsStore::kStationPortsValue,
                         ports.join(','));
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
    return saved ? 0 : 1;
}
