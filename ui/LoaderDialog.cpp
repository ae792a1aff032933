#include "ui/LoaderDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "serial/PortDirectory.h"
#include "ui/AboutDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/LoaderApp.h"
#include "ui/OptionsDialog.h"
#include "ui/PortMappingDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/ProgramInfo.h"

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

std::size_t Index(int port) {
    return static_cast<std::size_t>(port - 1);
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    SetControlId(*button, id);
    // No button is the default: Enter presses only the button that has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

namespace {

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
      runModal_([](QDialog& dialog) { return dialog.exec(); }) {
    BuildControls();
    BuildTabOrder();
    for (int port = 1; port <= kPortCount; ++port) {
        QCheckBox* box = portBoxes_[Index(port)];
        box->installEventFilter(new PortToolTip(port, mapping, box));
    }
    session_ = std::make_unique<LoaderSession>(mapping, *this, *this, *this);
    session_->SetLauncher([this](RunInputs inputs) { StartRun(std::move(inputs)); });
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

    browseButton_ = MakeButton(this, QStringLiteral("..."), ids::kBrowse);
    browseButton_->setGeometry(units.Rect(271, 15, 26, 13));
    connect(browseButton_, &QPushButton::clicked, this, &CLoaderDialog::OnBrowse);

    for (int port = 1; port <= kPortCount; ++port) {
        const int column = (port - 1) / kRowsPerColumn;
        const int y = kFirstRowY + ((port - 1) % kRowsPerColumn) * kRowPitch;

        auto* box = new QCheckBox(QStringLiteral("Com %1").arg(port), this);
        SetControlId(*box, ids::kPortBox[Index(port)]);
        box->setGeometry(units.Rect(kBoxX[column], y, kBoxWidth, kRowHeight));
        // Clicks only: the serial link unticks a box itself when its port cannot be opened.
        connect(box, &QCheckBox::clicked, this, [this, port] { OnPortBoxClicked(port); });
        portBoxes_[Index(port)] = box;

        auto* status = new QLineEdit(this);
        SetControlId(*status, ids::kPortStatus[Index(port)]);
        status->setGeometry(units.Rect(kStatusX[column], y, kStatusWidth, kRowHeight));
        status->setReadOnly(true);
        statusFields_[Index(port)] = status;
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
}

void CLoaderDialog::BuildTabOrder() {
    std::vector<QWidget*> order = {portBoxes_[0], browseButton_};
    for (int port = 2; port <= 12; ++port) {
        order.push_back(portBoxes_[Index(port)]);
        order.push_back(statusFields_[Index(port)]);
    }
    order.insert(order.end(),
                 {startButton_, aboutButton_, exitButton_, statusFields_[0], romPathField_});
    for (int port = 13; port <= kPortCount; ++port) {
        order.push_back(portBoxes_[Index(port)]);
        order.push_back(statusFields_[Index(port)]);
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
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kPortMappingCommand),
                      L"Port Mapping...");
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kAboutCommand), L"About...");
    }
#else
    windowMenu_ = new QMenu(this);
    QAction* mapping = windowMenu_->addAction(QStringLiteral("Port Mapping..."));
    mapping->setData(ids::kPortMappingCommand);
    QAction* about = windowMenu_->addAction(QStringLiteral("About..."));
    about->setData(ids::kAboutCommand);
    connect(windowMenu_, &QMenu::triggered, this,
            [this](QAction* action) { SystemCommand(action->data().toInt()); });
#endif
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
    statusFields_.at(Index(port))->setText(text);
}

MessageResult CLoaderDialog::ShowMessage(const QString& text, MessageButtons buttons,
                                         MessageIcon icon) {
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
    return portBoxes_.at(Index(port))->isChecked();
}

void CLoaderDialog::SetTicked(int port, bool ticked) {
    portBoxes_.at(Index(port))->setChecked(ticked);
}

void CLoaderDialog::StartRun(RunInputs inputs) {
    session_->Launch(std::move(inputs));
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
        (command == ids::kAboutCommand || command == ids::kPortMappingCommand)) {
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
    RunInputs inputs;
    inputs.romPathText = romPathText_.toStdString();
    inputs.baseAddressText = baseAddressText_.toStdString();
    if (session_->Start(std::move(inputs)) == LoaderSession::StartResult::RomNotOpened) {
        ForgetRomPath();
    }
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

void CLoaderDialog::OnExit() {
    if (exiting_ || ended_) {
        return;
    }
    exiting_ = true;
    if (session_->State().InProgress()) {
        const BoxResult answer =
            Message(kExitQuestion, {BoxButtons::YesNo, BoxIcon::Stop, /*defaultButton=*/0});
        if (answer != BoxResult::Yes) {
            exiting_ = false;
            return;
        }
    }
    session_->StopAndJoin();
    ended_ = true;
    exiting_ = false;
    QDialog::done(QDialog::Rejected);
}

void CLoaderDialog::OnPortBoxClicked(int port) {
    session_->PortBoxClicked(port);
}

}  // namespace vantrel
