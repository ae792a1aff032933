#include "ui/LoaderDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>
#include <vector>

#include "engine/UnitStage.h"
#include "runlog/RunRecord.h"
#include "serial/PortDirectory.h"
#include "ui/AboutDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/LoaderApp.h"
#include "ui/OptionsDialog.h"
#include "ui/PortMappingDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/ProgramInfo.h"
#include "ui/StationDialog.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#endif

namespace vantrel {
namespace {

const QString kExitQuestion = QStringLiteral(
    "Firmware loading is in progress! Unit may not    recover if the loading process is "
    "interrupted.\n\nAre you sure you want to exit?");

// Template 102, in dialog units.
constexpr int kDialogWidth = 311;
constexpr int kDialogHeight = 217;
constexpr int kRowsPerColumn = 8;
constexpr int kFirstRowY = 51;
constexpr int kRowPitch = 16;
constexpr int kBoxX[] = {15, 159};
constexpr int kStatusX[] = {57, 204};
constexpr int kBoxWidth = 40;
constexpr int kStatusWidth = 91;
constexpr int kRowHeight = 12;

constexpr int kProgressMinimum = 0;
constexpr int kProgressMaximum = 100;

// Station mode adds a line below the bottom row; the fixed layout above it stays.
constexpr int kStationLineY = 213;
constexpr int kStationLineHeight = 10;

// A row's result in station mode, as its status field shows it: colours only, so the field
// keeps the window's font.
struct RowColours {
    QColor base;
    QColor text;
};
constexpr RowColours kPassedColours{QColor(0xd1, 0xf0, 0xd8), QColor(0x0b, 0x5a, 0x1e)};
constexpr RowColours kFailedColours{QColor(0xf9, 0xd2, 0xd2), QColor(0x8a, 0x0f, 0x0f)};

// The beginning of a text too long for its field, and the whole of it in the field's tooltip.
void ShowStatusText(QLineEdit& field, const QString& text) {
    field.setText(text);
    field.setCursorPosition(0);
    const int room = field.contentsRect().width() - 6;
    field.setToolTip(field.fontMetrics().horizontalAdvance(text) > room ? text : QString());
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    SetControlId(*button, id);
    // No button is the default: Enter presses only the button that has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Fills a Com box's tooltip the moment it is asked for, so it names what is plugged in now.
class PortToolTip : public QObject {
  public:
    PortToolTip(int port, const PortMapping& mapping, QObject* parent)
        : QObject(parent), port_(port), mapping_(mapping) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            static_cast<QWidget*>(watched)->setToolTip(
                DescribeComPort(port_, mapping_, DetectedPorts()));
        }
        return false;
    }

  private:
    int port_;
    const PortMapping& mapping_;
};

}  // namespace

CLoaderDialog::CLoaderDialog(CLoaderApp& app, const PortMapping& mapping, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      app_(app),
      mapping_(mapping),
      runModal_([](QDialog& dialog) { return dialog.exec(); }) {
    BuildControls();
    BuildTabOrder();
    for (int port = 1; port <= kPortCount; ++port) {
        QCheckBox* box = portBoxes_[PortIndex(port)];
        box->installEventFilter(new PortToolTip(port, mapping, box));
    }
    session_ = std::make_unique<LoaderSession>(mapping, *this, *this, *this);
    session_->SetLauncher([this](const RunPlan& plan) { StartRun(plan); });
    if (app_.MainWindow() == nullptr) {
        app_.SetMainWindow(this);
    }
    StartUp();
}

CLoaderDialog::~CLoaderDialog() {
    // The run must be over before the widgets it shows itself in go.
    session_.reset();
}

void CLoaderDialog::BuildControls() {
    SetControlId(*this, ids::kMainDialog);
    setFont(DialogFont());
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    // Group boxes first, so that the controls they frame lie above them.
    auto addGroup = [&](const QString& title, int x, int y, int width, int height) {
        auto* group = new QGroupBox(title, this);
        group->setGeometry(units.Rect(x, y, width, height));
        group->setFocusPolicy(Qt::NoFocus);
    };
    addGroup(QStringLiteral("Select ROM File"), 7, 3, 297, 31);
    addGroup(QStringLiteral("Com Port Selection, Status and Settings"), 7, 37, 297, 144);
    addGroup(QString(), 7, 182, 297, 28);

    romPathField_ = new QLineEdit(this);
    SetControlId(*romPathField_, ids::kRomPath);
    romPathField_->setGeometry(units.Rect(13, 15, 253, 12));
    romPathField_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(romPathField_, &QLineEdit::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowContextMenu(romPathField_, position); });

    browseButton_ = MakeButton(this, QStringLiteral("..."), ids::kBrowse);
    browseButton_->setGeometry(units.Rect(271, 15, 26, 13));
    connect(browseButton_, &QPushButton::clicked, this, &CLoaderDialog::OnBrowse);

    for (int port = 1; port <= kPortCount; ++port) {
        const int column = (port - 1) / kRowsPerColumn;
        const int y = kFirstRowY + ((port - 1) % kRowsPerColumn) * kRowPitch;

        auto* box = new QCheckBox(QStringLiteral("Com %1").arg(port), this);
        SetControlId(*box, ids::kPortBox[PortIndex(port)]);
        box->setGeometry(units.Rect(kBoxX[column], y, kBoxWidth, kRowHeight));
        // Clicks only: the serial link unticks a box itself when its port cannot be opened.
        connect(box, &QCheckBox::clicked, this, [this, port] { OnPortBoxClicked(port); });
        portBoxes_[PortIndex(port)] = box;

        auto* status = new QLineEdit(this);
        SetControlId(*status, ids::kPortStatus[PortIndex(port)]);
        status->setGeometry(units.Rect(kStatusX[column], y, kStatusWidth, kRowHeight));
        status->setReadOnly(true);
        status->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(status, &QLineEdit::customContextMenuRequested, this,
                [this, status](const QPoint& position) { ShowContextMenu(status, position); });
        statusFields_[PortIndex(port)] = status;
    }

    progressBar_ = new QProgressBar(this);
    SetControlId(*progressBar_, ids::kProgress);
    progressBar_->setGeometry(units.Rect(12, 190, 136, 16));
    progressBar_->setRange(kProgressMinimum, kProgressMaximum);
    progressBar_->setTextVisible(false);
    progressBar_->setFocusPolicy(Qt::NoFocus);

    startButton_ = MakeButton(this, QStringLiteral("Start"), ids::kStart);
    startButton_->setGeometry(units.Rect(157, 190, 50, 16));
    connect(startButton_, &QPushButton::clicked, this, &CLoaderDialog::OnStart);

    settingsButton_ = MakeButton(this, QStringLiteral("Settings"), ids::kSettings);
    settingsButton_->setGeometry(units.Rect(210, 190, 35, 16));
    connect(settingsButton_, &QPushButton::clicked, this, &CLoaderDialog::OnSettings);

    aboutButton_ = MakeButton(this, QStringLiteral("?"), ids::kAbout);
    aboutButton_->setGeometry(units.Rect(249, 190, 15, 16));
    connect(aboutButton_, &QPushButton::clicked, this, &CLoaderDialog::OnAbout);

    exitButton_ = MakeButton(this, QStringLiteral("E&xit"), ids::kExit);
    exitButton_->setGeometry(units.Rect(268, 190, 30, 16));
    connect(exitButton_, &QPushButton::clicked, this, &CLoaderDialog::OnExit);

    stationLine_ = new QLabel(this);
    stationLine_->setObjectName(QStringLiteral("stationLine"));
    stationLine_->setGeometry(units.Rect(9, kStationLineY, 293, kStationLineHeight));
    stationLine_->setTextFormat(Qt::PlainText);
    stationLine_->hide();
}

void CLoaderDialog::ShowStationMode() {
    const DialogUnits units = DialogUnits::ForFont(font());
    const bool on = station_ != nullptr;
    setFixedSize(
        units.Size(kDialogWidth, on ? kStationLineY + kStationLineHeight + 3 : kDialogHeight));
    stationLine_->setVisible(on);
    ShowStationLine();
}

void CLoaderDialog::ShowStationLine() {
    if (station_) {
        const QString line = station_->StatusLine(writingLog_);
        stationLine_->setText(
            stationLine_->fontMetrics().elidedText(line, Qt::ElideRight, stationLine_->width()));
        stationLine_->setToolTip(line);
    }
}

void CLoaderDialog::BuildTabOrder() {
    std::vector<QWidget*> order = {portBoxes_[0], browseButton_};
    for (int port = 2; port <= 12; ++port) {
        order.push_back(portBoxes_[PortIndex(port)]);
        order.push_back(statusFields_[PortIndex(port)]);
    }
    order.insert(order.end(),
                 {startButton_, aboutButton_, exitButton_, statusFields_[0], romPathField_});
    for (int port = 13; port <= kPortCount; ++port) {
        order.push_back(portBoxes_[PortIndex(port)]);
        order.push_back(statusFields_[PortIndex(port)]);
    }
    order.push_back(settingsButton_);
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void CLoaderDialog::AddWindowMenu() {
#ifdef Q_OS_WIN
    HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    if (menu != nullptr) {
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kStationCommand), L"Station...");
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kPortMappingCommand),
                      L"Port Mapping...");
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kAboutCommand), L"About...");
    }
#endif
    // Also what a right click anywhere in the window opens, and where the shortcuts live.
    windowMenu_ = new QMenu(this);
    const auto add = [this](const QString& text, int command, const QKeySequence& keys) {
        QAction* action = windowMenu_->addAction(text);
        action->setData(command);
        action->setShortcut(keys);
        addAction(action);
    };
    add(QStringLiteral("Station..."), ids::kStationCommand, QKeySequence(Qt::CTRL | Qt::Key_T));
    add(QStringLiteral("Port Mapping..."), ids::kPortMappingCommand,
        QKeySequence(Qt::CTRL | Qt::Key_M));
    add(QStringLiteral("About..."), ids::kAboutCommand, QKeySequence());
    connect(windowMenu_, &QMenu::triggered, this,
            [this](QAction* action) { SystemCommand(action->data().toInt()); });
}

void CLoaderDialog::ShowContextMenu(QWidget* widget, const QPoint& position) {
    // The field's own commands (copy, select all) first, then the window's.
    auto* field = qobject_cast<QLineEdit*>(widget);
    std::unique_ptr<QMenu> menu(field != nullptr ? field->createStandardContextMenu()
                                                 : new QMenu(this));
    menu->addSeparator();
    menu->addActions(windowMenu_->actions());
    menu->exec(widget->mapToGlobal(position));
}

void CLoaderDialog::StartUp() {
    setWindowTitle(WindowTitle());
    AddWindowMenu();
    setWindowIcon(ProgramIcon());
    progressStep_ = 1;
    progressBar_->setValue(kProgressMinimum);
    LoaderState& state = session_->State();
    for (int port = 1; port <= kPortCount; ++port) {
        PortSlot& slot = state.Port(port);
        slot.selected.store(false);
        slot.controlCreated.store(false);
        slot.stage.store(0);
    }
    state.SetInProgress(false);
    romType_ = kRomTypeFirmware;
    // Read once, path first; from here on the window's copies are the live values.
    SettingsStore& settings = app_.Settings();
    romPathText_ = settings.ReadString(SettingsStore::kRomFileSection,
                                       SettingsStore::kNameAndPathValue, QString());
    baseAddressText_ = settings.FwBaseAddress();
    ShowValues();
    portBoxes_[0]->setFocus();
    ApplyStationSettings(ReadStationSettings(settings));
    if (station_) {
        TickRememberedPorts();
    }
}

void CLoaderDialog::ApplyStationSettings(const StationSettings& settings) {
    if (!settings.on) {
        station_.reset();
        ShowStationMode();
        return;
    }
    if (station_ && station_->Settings() == settings) {
        return;
    }
    // The tallies go on across a change of log or names.
    StationTally tally = station_ ? station_->Tally() : StationTally{};
    station_.reset();
    // The recorder's thread asks; the window looks on its own thread, between batches.
    station_ = std::make_unique<StationMode>(settings, std::move(tally), [this] {
        QMetaObject::invokeMethod(this, &CLoaderDialog::ShowLogReports, Qt::QueuedConnection);
    });
    ShowStationMode();
}

void CLoaderDialog::ShowLogReports() {
    // During a batch they wait for its summary; after the window's end nobody reads them.
    if (!station_ || batchOpen_ || ended_) {
        return;
    }
    const QString text = QString::fromStdString(station_->TakeReports());
    if (!text.isEmpty()) {
        Message(text, {BoxButtons::Ok, BoxIcon::Exclamation});
    }
}

void CLoaderDialog::TickRememberedPorts() {
    for (const int port : ReadStationPorts(app_.Settings())) {
        if (!IsTicked(port)) {
            // As a click does: the port opens, or says why not and stays unticked.
            SetTicked(port, true);
            session_->PortBoxClicked(port);
        }
    }
}

void CLoaderDialog::ShowValues() {
    romPathField_->setText(romPathText_);
}

void CLoaderDialog::TakeValues() {
    romPathText_ = romPathField_->text();
}

BoxResult CLoaderDialog::Message(const QString& text, BoxType type) {
    return app_.ShowMessageBox(text, type);
}

bool CLoaderDialog::OpenRomFile() {
    if (session_->OpenRomFile(romPathText_)) {
        return true;
    }
    ForgetRomPath();
    return false;
}

void CLoaderDialog::ForgetRomPath() {
    romPathText_.clear();
    ShowValues();
}

void CLoaderDialog::SystemCommand(int id) {
    const int command = id & 0xFFF0;
    if (command == ids::kAboutCommand) {
        OnAbout();
    } else if (command == ids::kPortMappingCommand) {
        OnPortMapping();
    } else if (command == ids::kStationCommand) {
        OnStation();
    } else if (command == ids::kCloseCommand) {
        close();  // comes back as the close event, and so to Exit
    }
}

void CLoaderDialog::SetFileChooser(FileChooser* chooser) {
    chooser_ = chooser != nullptr ? chooser : &realChooser_;
}

void CLoaderDialog::SetModalRunner(ModalRunner runner) {
    runModal_ = std::move(runner);
}

void CLoaderDialog::SetStatusText(int port, const QString& text) {
    ShowStatusText(*statusFields_[PortIndex(port)], text);
    // A unit that failed a wait is shown so at once; the batch goes on.
    if (station_ && batchOpen_ && IsFailureText(text.toStdString())) {
        ShowRowResult(port, false);
    }
}

void CLoaderDialog::ShowRowResult(int port, std::optional<bool> passed) {
    QLineEdit* status = statusFields_[PortIndex(port)];
    status->setProperty(
        "result",
        !passed ? QString() : QString::fromLatin1(*passed ? kPassedResult : kFailedResult));
    QPalette palette = this->palette();
    if (passed) {
        const RowColours& colours = *passed ? kPassedColours : kFailedColours;
        palette.setColor(QPalette::Base, colours.base);
        palette.setColor(QPalette::Text, colours.text);
    }
    status->setPalette(palette);
}

MessageResult CLoaderDialog::ShowMessage(const QString& text, MessageButtons buttons,
                                         MessageIcon icon) {
    if (station_ && batchOpen_) {
        // In station mode nothing stops a batch: the message waits for its summary.
        station_->KeepMessage(text);
        return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
    }
    BoxType type;
    type.buttons = buttons == MessageButtons::YesNo ? BoxButtons::YesNo : BoxButtons::Ok;
    switch (icon) {
        case MessageIcon::None:
            type.icon = BoxIcon::None;
            break;
        case MessageIcon::Exclamation:
            type.icon = BoxIcon::Exclamation;
            break;
        case MessageIcon::Stop:
            type.icon = BoxIcon::Stop;
            break;
    }
    switch (Message(text, type)) {
        case BoxResult::Yes:
            return MessageResult::Yes;
        case BoxResult::No:
        case BoxResult::Cancel:
            return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
        default:
            return MessageResult::Ok;
    }
}

void CLoaderDialog::SetProgress(int position) {
    progressBar_->setValue(std::clamp(position, kProgressMinimum, kProgressMaximum));
}

void CLoaderDialog::StepProgress() {
    // Past the end the bar starts over from the beginning, so a long run keeps showing motion.
    int next = progressBar_->value() + progressStep_;
    if (next > kProgressMaximum) {
        next = kProgressMinimum + (next - kProgressMinimum) % (kProgressMaximum - kProgressMinimum);
    }
    progressBar_->setValue(next);
}

void CLoaderDialog::EnableStart() {
    // A batch ends when its summary is shown: only then may the next one start.
    if (station_ && batchOpen_) {
        return;
    }
    startButton_->setEnabled(true);
}

void CLoaderDialog::DisableStart() {
    startButton_->setEnabled(false);
}

void CLoaderDialog::WriteSetting(const QString& section, const QString& name,
                                 const QString& value) {
    // A failed write keeps the old value; nobody is told.
    app_.Settings().WriteString(section, name, value);
}

bool CLoaderDialog::IsTicked(int port) const {
    return portBoxes_[PortIndex(port)]->isChecked();
}

void CLoaderDialog::SetTicked(int port, bool ticked) {
    portBoxes_[PortIndex(port)]->setChecked(ticked);
}

void CLoaderDialog::StartRun(const RunPlan& plan) {
    session_->Launch(plan);
}

void CLoaderDialog::accept() {}

void CLoaderDialog::reject() {}

void CLoaderDialog::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    OnExit();
    event->setAccepted(ended_);
}

void CLoaderDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (station_ && (enter || event->key() == Qt::Key_Escape)) {
        // A line's operator presses Enter by reflex after a box: it must start or stop nothing.
        event->accept();
        return;
    }
    if (enter && plain) {
        // Enter presses the focused push button, so a keyboard user acts on what has the focus;
        // elsewhere Enter is the accept command, which does nothing here.
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button != nullptr && button->isEnabled()) {
            button->click();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLoaderDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (windowMenu_ == nullptr) {
        QDialog::contextMenuEvent(event);
        return;
    }
    windowMenu_->exec(event->globalPos());
}

#ifdef Q_OS_WIN
bool CLoaderDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const auto* msg = static_cast<const MSG*>(message);
    const int command = static_cast<int>(msg->wParam) & 0xFFF0;
    if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
        (command == ids::kAboutCommand || command == ids::kPortMappingCommand ||
         command == ids::kStationCommand)) {
        SystemCommand(static_cast<int>(msg->wParam));
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CLoaderDialog::OnStart() {
    TakeValues();
    // The run works on copies, so Browse and Settings during it change only the next run.
    BatchRequest request;
    request.romPathText = romPathText_.toStdString();
    request.baseAddressText = baseAddressText_.toStdString();
    session_->SetBeforeUnits(station_ ? station_->BeforeUnits() : LoaderSession::BeforeUnits{});
    session_->SetPortFailuresEndUnitsOnly(station_ != nullptr);
    if (!station_) {
        if (session_->Start(std::move(request)) == LoaderSession::StartResult::RomNotOpened) {
            ForgetRomPath();
        }
        return;
    }
    std::vector<std::pair<int, std::string>> units;
    for (int port = 1; port <= kPortCount; ++port) {
        SetStatusText(port, QString());
        ShowRowResult(port, std::nullopt);
        if (IsTicked(port)) {
            units.emplace_back(port, mapping_.DevicePath(port).toStdString());
        }
    }
    station_->BeginBatch(request, units);
    // While the log is waited for, the window says so.
    session_->SetBeforeUnits([this, keep = station_->BeforeUnits()](
                                 const PreparedBatch& batch, LoaderSession::Proceed proceed) {
        writingLog_ = true;
        ShowStationLine();
        keep(batch, [this, proceed](bool recorded) {
            writingLog_ = false;
            ShowStationLine();
            proceed(recorded);
        });
    });
    const auto result = session_->Start(std::move(request),
                                        [this](const BatchResult& ended) { OnBatchEnded(ended); });
    if (result == LoaderSession::StartResult::RomNotOpened) {
        ForgetRomPath();
    }
    if (result == LoaderSession::StartResult::Started) {
        batchOpen_ = true;
        LockDuringRun(true);
    }
}

void CLoaderDialog::OnBatchEnded(const BatchResult& result) {
    if (!batchOpen_ || !station_) {
        return;  // ended already, by Exit
    }
    session_->JoinRun();
    batchOpen_ = false;
    LockDuringRun(false);
    startButton_->setEnabled(true);
    const RunSummary& summary = station_->EndBatch(result);
    for (const UnitResult& unit : summary.units) {
        // A port that could not be opened shows why, as a failed unit does.
        if (unit.status.empty() && !unit.cause.empty()) {
            ShowStatusText(*statusFields_[PortIndex(unit.port)],
                           QString::fromStdString(unit.cause));
        }
        const bool notOpened = unit.status.empty() && !unit.cause.empty();
        ShowRowResult(unit.port,
                      summary.Flashed() || notOpened ? std::optional(unit.complete) : std::nullopt);
    }
    ShowStationLine();
    if (ended_) {
        return;
    }
    const std::pair<QString, BoxType> summaryBox = {
        station_->SummaryText(),
        {BoxButtons::Ok, station_->AllPassed() ? BoxIcon::Information : BoxIcon::Exclamation}};
    if (exitQuestionOpen_) {
        // Its question has no reason left: it goes, and the summary follows it.
        pendingSummary_ = summaryBox;
        app_.CloseOpenBox();
        return;
    }
    Message(summaryBox.first, summaryBox.second);
}

void CLoaderDialog::LockDuringRun(bool locked) {
    // A stray click mid-run would drop a unit half flashed, or change what the next run takes.
    for (QCheckBox* box : portBoxes_) {
        box->setEnabled(!locked);
    }
    romPathField_->setReadOnly(locked);
    browseButton_->setEnabled(!locked);
    settingsButton_->setEnabled(!locked);
}

void CLoaderDialog::OnBrowse() {
    FileRequest request;
    request.title = QStringLiteral("Select ROM File...");
    // Intel HEX and ELF files are read too, told apart by their content.
    request.filters = {{QStringLiteral("ROM File (.rom)"), QStringLiteral("*.rom")},
                       {QStringLiteral("Firmware Files (.hex .srec .s19 .s28 .s37 .mot .elf)"),
                        QStringLiteral("*.hex *.ihex *.srec *.s19 *.s28 *.s37 *.mot *.elf")},
                       {QStringLiteral("All Files (*.*)"), QStringLiteral("*")}};
    request.defaultSuffix = QStringLiteral("rom");
    request.initialPath = romPathText_;
    const std::optional<QString> chosen = chooser_->ChooseFile(this, request);
    if (!chosen) {
        return;
    }
    romPathText_ = QDir::toNativeSeparators(*chosen);
    ShowValues();
    OpenRomFile();
}

void CLoaderDialog::OnSettings() {
    COptionsDialog options(*this);
    runModal_(options);
}

void CLoaderDialog::OnAbout() {
    CAboutDialog about(this);
    runModal_(about);
}

void CLoaderDialog::OnPortMapping() {
    CPortMappingDialog mapping(app_.Settings(), DetectedPorts(), this);
    runModal_(mapping);
}

void CLoaderDialog::OnStation() {
    CStationDialog dialog(
        station_ ? station_->Settings() : ReadStationSettings(app_.Settings()),
        station_ ? &station_->Tally() : nullptr, session_->RunActive() || batchOpen_,
        [this](const QString& question) {
            return Message(question, {BoxButtons::YesNo, BoxIcon::Question, 1}) == BoxResult::Yes;
        },
        this);
    if (runModal_(dialog) != QDialog::Accepted || session_->RunActive() || batchOpen_) {
        return;
    }
    if (dialog.TalliesReset() && station_) {
        station_->ResetTally();
        ShowStationLine();
    }
    const bool wasOn = station_ != nullptr;
    WriteStationSettings(app_.Settings(), dialog.Settings());
    ApplyStationSettings(dialog.Settings());
    if (station_ && !wasOn) {
        RememberTicks();
    }
}

void CLoaderDialog::RememberTicks() {
    std::vector<int> ticked;
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsTicked(port)) {
            ticked.push_back(port);
        }
    }
    WriteStationPorts(app_.Settings(), ticked);
}

void CLoaderDialog::OnExit() {
    if (exiting_ || ended_) {
        return;
    }
    exiting_ = true;
    if (session_->State().InProgress()) {
        // In station mode a reflex Enter must not end a batch: No is the default there.
        exitQuestionOpen_ = true;
        const BoxResult answer = Message(
            kExitQuestion, {BoxButtons::YesNo, BoxIcon::Stop, /*defaultButton=*/station_ ? 1 : 0});
        exitQuestionOpen_ = false;
        if (pendingSummary_) {
            const auto summary = *std::exchange(pendingSummary_, std::nullopt);
            exiting_ = false;
            Message(summary.first, summary.second);
            return;
        }
        if (answer != BoxResult::Yes) {
            exiting_ = false;
            return;
        }
    }
    if (station_) {
        station_->GiveUpBatchStarts();
    }
    const BatchResult stopped = session_->StopAndJoin();
    ended_ = true;
    exiting_ = false;
    // The batch Exit stopped is recorded as it stood, not left to look killed.
    OnBatchEnded(stopped);
    QDialog::done(QDialog::Rejected);
}

void CLoaderDialog::OnPortBoxClicked(int port) {
    session_->PortBoxClicked(port);
    if (station_) {
        RememberTicks();
    }
}

}  // namespace vantrel
