#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "engine/DownloadWorker.h"
#include "engine/LoaderState.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "session/LoaderSession.h"
#include "ui/FileChooser.h"
#include "ui/HandsFreeStation.h"
#include "ui/MessagePresenter.h"
#include "ui/StationMode.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace vantrel {

class CLoaderApp;
class PortMapping;

// The program's one window: the ROM file, the sixteen port rows, the progress bar, Start,
// Settings, About and Exit. It shows a session core, which holds the run's state, ports and
// thread and carries every call of the run over to this thread.
class CLoaderDialog : public QDialog, public RunView, public PortBoxes {
    Q_OBJECT
  public:
    static constexpr int kRomTypeFirmware = 0;
    static constexpr int kRomTypeBoot = 1;

    // Runs a dialog modally and returns its result; tests replace it to look at the dialog.
    using ModalRunner = std::function<int(QDialog&)>;

    CLoaderDialog(CLoaderApp& app, const PortMapping& mapping, QWidget* parent = nullptr);
    ~CLoaderDialog() override;

    CLoaderApp& App() { return app_; }
    LoaderState& State() { return session_->State(); }
    SerialLink& Link() { return session_->Link(); }
    // A batch is under way: its run goes on, or it waits for its record.
    bool RunActive() const { return session_->RunActive() || session_->AwaitingRecord(); }

    // The fields the Options dialog edits.
    int RomType() const { return romType_; }
    void SetRomType(int romType) { romType_ = romType; }
    const QString& BaseAddressText() const { return baseAddressText_; }
    void SetBaseAddressText(const QString& text) { baseAddressText_ = text; }

    // The ROM path as last exchanged with its field.
    const QString& RomPathText() const { return romPathText_; }
    bool RomFileOpen() const { return session_->RomFileOpen(); }
    // Opens the file the ROM path text names, closing the one open before. On failure the
    // path text and its field are emptied.
    bool OpenRomFile();

    // A window-menu command: 0x10 to 0x1F open the About box, 0x30 to 0x3F the Port Mapping
    // dialog, 0x50 to 0x5F the Station dialog; Close goes to Exit.
    void SystemCommand(int id);
    // The menu offering "Station...", "Port Mapping..." and "About..." where the platform has
    // no window menu to append them to; a right click anywhere in the window opens it too.
    QMenu* WindowMenu() const { return windowMenu_; }
    // Station mode's batches; nothing when it is off.
    StationMode* Station() const { return station_.get(); }
    // Hands-free: the ticked ports are watched, each on its own.
    bool Watching() const { return handsFree_ && handsFree_->Watching(); }
    // Station mode's line below the buttons: the station, operator, log and counts.
    QLabel* StationLine() const { return stationLine_; }

    // chooser must outlive its use; nullptr puts the platform's file dialog back.
    void SetFileChooser(FileChooser* chooser);
    void SetModalRunner(ModalRunner runner);

    // RunView: what a run shows, always on this thread.
    void SetStatusText(int port, const QString& text) override;
    MessageResult ShowMessage(const QString& text, MessageButtons buttons,
                              MessageIcon icon) override;
    void SetProgress(int position) override;
    void StepProgress() override;
    void EnableStart() override;
    void DisableStart() override;
    void WriteSetting(const QString& section, const QString& name, const QString& value) override;

    // PortBoxes
    bool IsTicked(int port) const override;
    void SetTicked(int port, bool ticked) override;

    // The window ends only through Exit: the accept and cancel commands (Enter, Escape) do
    // nothing here.
    void accept() override;
    void reject() override;

  protected:
    // Starts the checked run; tests replace it to catch the inputs. Throws std::system_error
    // when no thread can be made.
    virtual void StartRun(const RunPlan& plan);

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

  private:
    void BuildControls();
    void BuildTabOrder();
    void AddWindowMenu();
    void StartUp();
    void ShowValues();
    void TakeValues();
    void ForgetRomPath();
    BoxResult Message(const QString& text, BoxType type = {});

    void OnStart();
    // Station mode's Start: the rows cleared, the batch begun and recorded before any unit.
    void StartStationBatch(BatchRequest request);
    // Hands-free's Start: each ticked port watched on its own until Stop.
    void StartHandsFree(BatchRequest request);
    // Every port's watch ends, units under way stopped and recorded; the ticked ports open
    // again as clicks open them. The watch's summary follows unless the window is going.
    void StopHandsFree(bool showSummary);
    void OnBrowse();
    void OnSettings();
    void OnAbout();
    void OnPortMapping();
    void OnStation();
    // Station mode from the settings: its batches, and the ports it ticked last.
    void ApplyStationSettings(const StationSettings& settings);
    void TickRememberedPorts();
    // What the run log said outside a batch (a run a killed window never finished), in one box.
    void ShowLogReports();
    void RememberTicks();
    void OnBatchEnded(const BatchResult& result);
    void LockDuringRun(bool locked);
    void ShowRowResult(int port, std::optional<bool> passed);
    // The window's size and station line as station mode is on or off.
    void ShowStationMode();
    void ShowStationLine();
    void ShowContextMenu(QWidget* widget, const QPoint& position);
    void OnExit();
    void OnPortBoxClicked(int port);

    CLoaderApp& app_;
    const PortMapping& mapping_;
    std::unique_ptr<LoaderSession> session_;
    std::unique_ptr<StationMode> station_;
    std::unique_ptr<HandsFreeStation> handsFree_;  // while hands-free watches

    QString romPathText_;
    QString baseAddressText_;
    int romType_ = kRomTypeFirmware;
    int progressStep_ = 1;
    bool exiting_ = false;
    bool ended_ = false;
    bool batchOpen_ = false;   // station mode: from Start until the batch's summary
    bool writingLog_ = false;  // station mode: the batch waits for its record
    bool exitQuestionOpen_ = false;
    // A batch's summary that waits for Exit's question, which its end has closed.
    std::optional<std::pair<QString, BoxType>> pendingSummary_;

    std::array<QCheckBox*, kPortCount> portBoxes_{};
    std::array<QLineEdit*, kPortCount> statusFields_{};
    QLineEdit* romPathField_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QLabel* stationLine_ = nullptr;

    QtFileChooser realChooser_;
    FileChooser* chooser_ = &realChooser_;
    ModalRunner runModal_;
};

}  // namespace vantrel
