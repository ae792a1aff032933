// The window through a day at a station: what a technician met, batch after batch, on the real
// window with simulated units.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/settings/QtPrinters.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <numeric>

#include "image/SRecordWriter.h"
#include "runlog/RunLog.h"
#include "tests/tools/ChildProgram.h"
#include "tests/ui/SimulatedUnitsTest.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"
#include "ui/StationDialog.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::PatternBytes;
using testing::WaitUntil;

constexpr std::uint32_t kBase = 0x00C10000;

class StationDayTest : public testing::SimulatedUnitsTest {
  protected:
    // count units, those in silent never answering; station mode on with the given log.
    void StartStation(unsigned count, std::vector<unsigned> silent = {},
                      const QString& log = QString()) {
        sim::BenchOptions options;
        options.count = count;
        options.unit = sim::UnitOptions::Fast();
        for (const unsigned unit : silent) {
            options.faults[unit] = {{sim::FaultKind::Silent}};
        }
        StartBench(options);
        QStringList ports;
        for (unsigned port = 1; port <= count; ++port) {
            ports << QString::number(port);
        }
        Seed("Station", "Mode", "1");
        Seed("Station", "Log", log.isNull() ? logPath_ : log);
        Seed("Station", "Station", "line1-st3");
        Seed("Station", "Operator", "ann");
        Seed("Station", "Ports", ports.join(','));
        Control<QLineEdit>(ids::kRomPath)
            ->setText(RomFileWith("fw.rom", FormatS3Records(PatternBytes(2048), kBase)));
        Window().SetBaseAddressText("00C10000");
    }
    QLineEdit* StatusField(int port) {
        return Control<QLineEdit>(ids::kPortStatus.at(static_cast<std::size_t>(port - 1)));
    }
    // Start, then the batch's summary, the last box.
    QString Batch() {
        const std::size_t before = boxes_.shown.size();
        Click(ids::kStart);
        EXPECT_TRUE(WaitUntil([&] { return boxes_.shown.size() > before; }, 60s));
        EXPECT_TRUE(WaitUntil([&] { return !Window().RunActive(); }, 30s));
        return boxes_.shown.empty() ? QString() : boxes_.shown.back().text;
    }
    static std::string CommandOutput(const std::string& command) {
        std::string text;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        if (pipe != nullptr) {
            pclose(pipe);
        }
        return text;
    }
    std::string Sqlite(const std::string& sql) {
        return CommandOutput("sqlite3 " + logPath_.toStdString() + " \"" + sql + "\"");
    }

    QString logPath_ = dir_.filePath("station.sqlite");
};

TEST_F(StationDayTest, RowsKeepTheWindowsFontAndShowTheBeginningOfALongText) {
    StartStation(3, {2});
    const QFont font = Window().font();
    EXPECT_TRUE(Batch().startsWith("2 of 3 units passed.")) << "every unit is there at first";
    // Then COM3's cable is pulled: the batches go on without it.
    App().Settings().WriteString("Ports", "Com3", dir_.filePath("unplugged"));
    for (int batch = 2; batch <= 3; ++batch) {
        SCOPED_TRACE(batch);
        bench_->PowerCycle();
        const QString summary = Batch();
        for (int port = 1; port <= 3; ++port) {
            EXPECT_EQ(StatusField(port)->font(), font) << port;
            EXPECT_EQ(StatusField(port)->cursorPosition(), 0) << port;
        }
        EXPECT_EQ(StatusField(1)->property("result"), "passed");
        EXPECT_EQ(StatusField(2)->property("result"), "failed");
        // The port whose device is missing fails alone; its row tells why, whole in its tooltip.
        const QString cause = "No such file or directory: " + dir_.filePath("unplugged");
        EXPECT_EQ(StatusField(3)->text(), cause);
        EXPECT_EQ(StatusField(3)->toolTip(), cause);
        EXPECT_TRUE(StatusField(2)->toolTip().isEmpty()) << "a text that fits needs none";
        EXPECT_TRUE(
            summary.contains("\nCOM2: Force2Mon Failed...\n"
                             "COM3: could not be opened (No such file or directory)"))
            << summary.toStdString();
        EXPECT_FALSE(summary.contains(dir_.path())) << "devices stay in the tooltips and the log";
    }
    // The window's records carry each unit's duration, as the command line's do.
    const std::string units =
        "SELECT com_port, result, duration_ms > 0, cause FROM units WHERE "
        "run_id = 3 ORDER BY com_port";
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::string rows = Sqlite(units);
            return std::count(rows.begin(), rows.end(), '\n') == 3 &&
                   rows.find("unknown") == std::string::npos;
        },
        30s));
    EXPECT_EQ(Sqlite(units),
              "COM1|passed|1|\nCOM2|failed|1|\nCOM3|failed||No such file or "
              "directory: " +
                  dir_.filePath("unplugged").toStdString() + "\n");
}

TEST_F(StationDayTest, TheWindowAndTheCommandLineLogOneBatchAlike) {
    StartStation(3, {2});
    Batch();
    // The same batch from the command line, on the same units, ports and log.
    const QDir config(dir_.filePath("config"));
    ASSERT_TRUE(config.mkpath("Orlmark Ltd."));
    QSettings cliSettings(config.filePath("Orlmark Ltd./Vantrel.conf"), QSettings::IniFormat);
    for (unsigned port = 1; port <= 3; ++port) {
        cliSettings.setValue(QStringLiteral("Ports/Com%1").arg(port),
                             QString::fromStdString(bench_->LinkPath(port)));
    }
    cliSettings.sync();
    bench_->PowerCycle();
    const std::filesystem::path out = dir_.filePath("cli-out").toStdString();
    const pid_t cli = testing::StartProgram(
        {VANTREL_CLI_PATH, "--rom", Control<QLineEdit>(ids::kRomPath)->text().toStdString(),
         "--log", logPath_.toStdString(), "--station", "line1-st4", "COM1", "COM2", "COM3"},
        {out, out}, testing::EnvironmentWith({"XDG_CONFIG_HOME=" + config.path().toStdString()}));
    const auto status = testing::WaitForChild(cli, 60s);
    ASSERT_TRUE(status && WIFEXITED(*status)) << testing::ReadText(out);
    EXPECT_EQ(WEXITSTATUS(*status), 1) << testing::ReadText(out);
    ASSERT_TRUE(WaitUntil([&] { return Sqlite("SELECT count(*) FROM units") == "6\n"; }, 30s));

    const std::string runs =
        "SELECT tool_version, rom_path, rom_sha256, rom_bytes, base_address, baud, outcome, "
        "exit_code FROM runs WHERE id = ";
    EXPECT_EQ(Sqlite(runs + "1"), Sqlite(runs + "2"));
    EXPECT_NE(Sqlite(runs + "2").find("|completed|1\n"), std::string::npos) << Sqlite(runs + "2");
    const std::string units =
        "SELECT com_port, device, by_id_path, usb_serial, result, failed_stage, failed_text, "
        "cause, duration_ms > 0 FROM units ORDER BY com_port, run_id";
    const QStringList rows = QString::fromStdString(Sqlite(units)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 6);
    for (int port = 0; port < 3; ++port) {
        EXPECT_EQ(rows[2 * port], rows[2 * port + 1]);
        EXPECT_TRUE(rows[2 * port].endsWith("|1"))
            << "a duration: " << rows[2 * port].toStdString();
    }
    EXPECT_TRUE(rows[2].contains("|failed|")) << rows[2].toStdString();
    // The silent unit's time is the engine's waits for it, the same from either road.
    const QStringList silent =
        QString::fromStdString(
            Sqlite("SELECT duration_ms FROM units WHERE com_port = 'COM2' ORDER BY run_id"))
            .split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(silent.size(), 2);
    EXPECT_NEAR(silent[0].toDouble(), silent[1].toDouble(), silent[0].toDouble() / 4);
}

TEST_F(StationDayTest, EnterAndEscapeDoNothingAfterASummaryAndExitsQuestionGoesWithTheBatch) {
    StartStation(2);
    int dialogs = 0;
    Window().SetModalRunner([&](QDialog&) { return ++dialogs, 0; });
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    Batch();
    const std::size_t boxes = boxes_.shown.size();
    for (QWidget* focused : {QApplication::focusWidget(), Control(ids::kAbout),
                             Control(ids::kStart), Control(ids::kExit)}) {
        ASSERT_NE(focused, nullptr);
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_Return);
        QTest::keyClick(focused, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(focused, Qt::Key_Escape);
    }
    EXPECT_EQ(dialogs, 0) << "no About, no dialog";
    EXPECT_EQ(boxes_.shown.size(), boxes) << boxes_.Texts().join('|').toStdString();
    EXPECT_FALSE(Window().RunActive());
    EXPECT_TRUE(Window().isVisible());

    // Exit asked while the batch runs: the batch ends first, so its question goes and the
    // summary follows, and the window stays.
    bench_->PowerCycle();
    boxes_.holdOpenWhen = QStringLiteral("Firmware loading is in progress!");
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return Window().State().InProgress(); }, 30s));
    Click(ids::kExit);
    ASSERT_GE(boxes_.shown.size(), boxes + 2);
    EXPECT_TRUE(boxes_.shown[boxes].text.startsWith("Firmware loading is in progress!"));
    EXPECT_TRUE(boxes_.shown[boxes + 1].text.startsWith("2 of 2 units passed."))
        << boxes_.Texts().join('|').toStdString();
    EXPECT_EQ(boxes_.shown.size(), boxes + 2);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(Control<QPushButton>(ids::kStart)->isEnabled());
}

TEST_F(StationDayTest, ALogThatCannotTakeTheFirstRecordGivesOneBoxAndFlashesNothing) {
    StartStation(2, {}, QStringLiteral("/nonexistent/station.db"));
    Window();
    QTest::qWait(300);  // what the log said as the window opened is told before the batch
    boxes_.shown.clear();
    const QString summary = Batch();
    QTest::qWait(6000);  // nothing comes after it
    ASSERT_EQ(boxes_.shown.size(), 1u) << boxes_.Texts().join('|').toStdString();
    EXPECT_TRUE(summary.startsWith("Nothing flashed: the batch could not be put on record"))
        << summary.toStdString();
    EXPECT_EQ(summary.count("unable to open database file"), 1) << summary.toStdString();
    for (unsigned unit = 1; unit <= 2; ++unit) {
        EXPECT_EQ(bench_->Unit(unit).Report().bytesReceived, 0u);
    }
}

TEST_F(StationDayTest, TheStationLineTellsModeNamesAndLogWithoutPasswordAndTheWaitForTheLog) {
    // A peer that takes the connection and never answers: the record is waited for.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const QString shown =
        QStringLiteral("postgresql://ann@127.0.0.1:%1/trace").arg(ntohs(address.sin_port));
    QString withPassword = shown;
    withPassword.insert(shown.indexOf('@'), QStringLiteral(":s3cret"));
    StartStation(1, {}, withPassword);
    QLabel* line = Window().StationLine();
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !boxes_.shown.empty(); }, 30s)) << "the log was tried";
    boxes_.shown.clear();
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->toolTip(),
              "Station mode \u00b7 station line1-st3 \u00b7 operator ann \u00b7 no batch yet "
              "\u00b7 log " +
                  shown);
    Click(ids::kStart);
    EXPECT_TRUE(line->toolTip().contains("\u00b7 Writing the run log\u2026 \u00b7"))
        << line->toolTip().toStdString();
    EXPECT_TRUE(Window().RunActive());
    EXPECT_FALSE(Window().State().InProgress()) << "no unit is touched before the record";
    ASSERT_TRUE(WaitUntil([&] { return !boxes_.shown.empty(); }, 30s));
    EXPECT_FALSE(line->toolTip().contains("Writing")) << line->toolTip().toStdString();
    EXPECT_FALSE((line->text() + line->toolTip() + boxes_.Texts().join('|')).contains("s3cret"));
    close(listener);
}

TEST_F(StationDayTest, ASummaryOfSixteenFailuresStaysWithinTheScreen) {
    std::vector<unsigned> all(16);
    std::iota(all.begin(), all.end(), 1u);
    StartStation(16, all);
    App().SetMessagePresenter(nullptr);  // the real boxes
    int height = 0;
    int room = 0;
    QString text;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            height = box->sizeHint().height();
            room = box->screen()->availableGeometry().height();
            text = box->text();
            box->accept();
        }
    });
    look.start(50);
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return height > 0; }, 60s));
    EXPECT_LE(height, room);
    EXPECT_TRUE(text.endsWith("Failed:\nCOM1\u2013COM16: Force2Mon Failed..."))
        << text.toStdString();

    // However many lines a summary has, the box scrolls instead of growing past the screen.
    height = 0;
    QString tall;
    for (int line = 1; line <= 200; ++line) {
        tall += QStringLiteral("line %1\n").arg(line);
    }
    App().ShowMessageBox(tall, {BoxButtons::Ok, BoxIcon::Information}, &Window());
    EXPECT_GT(height, 0);
    EXPECT_LE(height, room);
}

TEST_F(StationDayTest, ResetTalliesAsksAndOnlyOkResetsThem) {
    StartStation(1);
    Batch();
    ASSERT_EQ(Window().Station()->Tally().Ports().size(), 1u);
    for (const bool ok : {false, true}) {
        boxes_.answers = {BoxResult::Yes};
        Window().SetModalRunner([&](QDialog& dialog) {
            auto* station = qobject_cast<CStationDialog*>(&dialog);
            station->ResetButton()->click();
            return ok ? QDialog::Accepted : QDialog::Rejected;
        });
        Window().SystemCommand(ids::kStationCommand);
        EXPECT_TRUE(boxes_.shown.back().text.startsWith("Reset the tallies"));
        EXPECT_EQ(Window().Station()->Tally().Ports().empty(), ok);
    }
    EXPECT_TRUE(Window().StationLine()->toolTip().contains("\u00b7 no batch yet \u00b7"));
}

}  // namespace
}  // namespace vantrel
