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
#include "ui/LoaderDialogParts.h"
#include "ui/OptionsDialog.h"
#include "ui/PortMappingDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/ProgramInfo.h"
#include "ui/StationDialog.h"

namespace vantrel {
namespace {

const QString kExitQuestion = QStringLiteral(
    "Firmware loading is in progress! Unit may not    recover if the loading process is "
    "interrupted.\n\nAre you sure you want to exit?");

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

void CLoaderDialog::StartUp() {
    setWindowTitle(WindowTitle());
    AddWindowMenu();
    setWindowIcon(ProgramIcon());
    progressStep_ = 1;
    progressBar_->setValue(window::kProgressMinimum);
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

void CLoaderDialog::SetFileChooser(FileChooser* chooser) {
    chooser_ = chooser != nullptr ? chooser : &realChooser_;
}

void CLoaderDialog::SetModalRunner(ModalRunner runner) {
    runModal_ = std::move(runner);
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

void CLoaderDialog::OnStart() {
    TakeValues();
    // The run works on copies, so Browse and Settings during it change only the next run.
    BatchRequest request;
    request.romPathText = romPathText_.toStdString();
    request.baseAddressText = baseAddressText_.toStdString();
    if (station_ && (Watching() || station_->Settings().handsFree)) {
        if (Watching()) {
            StopHandsFree(true);
        } else {
            StartHandsFree(std::move(request));
        }
        return;
    }
    if (station_) {
        StartStationBatch(std::move(request));
        return;
    }
    session_->SetBeforeUnits({});
    session_->SetPortFailuresEndUnitsOnly(false);
    if (session_->Start(std::move(request)) == LoaderSession::StartResult::RomNotOpened) {
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
    if (session_->State().InProgress() || (Watching() && handsFree_->Flashing())) {
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
    if (Watching()) {
        ended_ = true;
        StopHandsFree(false);
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
