// Draws the main window in the middle of a run against four simulated units and saves it as a
// PNG, for the README. Needs no display: the window is drawn off screen.
//
//   vantrel-screenshot [FILE]                   (default docs/main-window.png)
//   vantrel-screenshot --port-mapping [FILE]    (default docs/port-mapping.png)
//   vantrel-screenshot --station [FOLDER]       (default docs: station-batch.png,
//                                                station-summary.png, station-dialog.png,
//                                                station-hands-free.png)
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

#include "serial/PortMapping.h"
#include "tools/screenshot/PortMappingShot.h"
#include "tools/screenshot/ShotSupport.h"
#include "tools/screenshot/StationShot.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned kUnits = 4;
constexpr int kShotAtPercent = 45;

// Answers every box with its first button, so the Exit question at the end gets Yes.
class YesPresenter : public vantrel::MessagePresenter {
  public:
    vantrel::BoxResult Present(const vantrel::BoxRequest& request) override {
        std::fprintf(stderr, "vantrel-screenshot: box: %s\n", qPrintable(request.text));
        return request.type.buttons == vantrel::BoxButtons::YesNo ? vantrel::BoxResult::Yes
                                                                  : vantrel::BoxResult::Ok;
    }
    void CloseOpenBox() override {}
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31 + 7) & 0xFF);
    }
    return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace vantrel;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption portMapping("port-mapping");
    const QCommandLineOption station("station");
    parser.addOptions({portMapping, station});
    // A mistyped option would otherwise become the picture's file name.
    if (!parser.parse(application.arguments()) || parser.positionalArguments().size() > 1 ||
        (parser.isSet(portMapping) && parser.isSet(station))) {
        std::fprintf(stderr, "%s: use [--port-mapping | --station] [FILE or FOLDER]\n", argv[0]);
        return 2;
    }
    const QString given = parser.positionalArguments().value(0);
    if (parser.isSet(portMapping)) {
        return ShootPortMapping(given.isEmpty() ? QStringLiteral("docs/port-mapping.png") : given);
    }
    if (parser.isSet(station)) {
        return ShootStation(given.isEmpty() ? QStringLiteral("docs") : given);
    }
    const QString out = given.isEmpty() ? QStringLiteral("docs/main-window.png") : given;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vantrel-XXXXXX"));
    if (!dir.isValid()) {
        return 1;
    }

    // Line time on, so the progress moves at a pace a still picture can catch.
    sim::BenchOptions options;
    options.count = kUnits;
    options.unit.eraseTime = 200ms;
    sim::UnitBench bench(options);

    CLoaderApp app(QStringLiteral("/opt/Vantrel/Vantrel"), dir.filePath("settings.ini"));
    YesPresenter boxes;
    app.SetMessagePresenter(&boxes);
    for (unsigned unit = 1; unit <= kUnits; ++unit) {
        app.Settings().WriteString(SettingsPortMapping::kSection,
                                   SettingsPortMapping::ValueName(static_cast<int>(unit)),
                                   QString::fromStdString(bench.LinkPath(unit)));
    }
    const QString rom = dir.filePath("firmware.rom");
    if (!shot::WriteRom(rom, Pattern(48 * 1024))) {
        return 1;
    }

    SettingsPortMapping mapping(app.Settings());
    CLoaderDialog window(app, mapping);
    window.show();
    FindControl<QLineEdit>(window, ids::kRomPath)->setText(rom);
    for (unsigned unit = 1; unit <= kUnits; ++unit) {
        FindControl<QCheckBox>(window, ids::kPortBox.at(unit - 1))->click();
    }
    FindControl<QPushButton>(window, ids::kStart)->click();

    auto* progress = FindControl<QProgressBar>(window, ids::kProgress);
    auto* status = FindControl<QLineEdit>(window, ids::kPortStatus[0]);
    const bool reached = shot::ProcessUntil(
        [&] {
            return status->text().startsWith(QStringLiteral("FW Load Cmd")) &&
                   progress->value() >= kShotAtPercent;
        },
        120000);
    if (!reached) {
        std::fprintf(stderr, "vantrel-screenshot: the run never got to the firmware\n");
    }
    const bool saved = reached && shot::SavePng(window.grab(), out);
    FindControl<QPushButton>(window, ids::kExit)->click();
    return saved ? 0 : 1;
}
