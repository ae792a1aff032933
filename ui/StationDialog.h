#pragma once

#include <QDialog>
#include <functional>

#include "station/StationMode.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vantrel {

// "Station": station mode on or off, its run log and the names its records carry, and the
// tallies of the batches so far with a way to reset them. OK keeps what was typed; while a run
// is in progress the settings are only shown.
class CStationDialog : public QDialog {
    Q_OBJECT
  public:
    // tally: nothing when station mode is off; reset is called by Reset Tallies.
    CStationDialog(const StationSettings& settings, const StationTally* tally, bool runActive,
                   std::function<void()> reset, QWidget* parent = nullptr);

    StationSettings Settings() const;

    QCheckBox* ModeBox() const { return modeBox_; }
    QLineEdit* LogField() const { return logField_; }
    QLineEdit* StationField() const { return stationField_; }
    QLabel* StationLine() const { return stationLine_; }
    QPushButton* ReportButton() const { return reportButton_; }
    // Opens a written report; the platform's browser unless a test puts its own.
    using ReportOpener = std::function<bool(const QString& path)>;
    void SetReportOpener(ReportOpener opener) { openReport_ = std::move(opener); }

    // Refuses a log address that cannot be one, saying why; the dialog stays open.
    void accept() override;

  private:
    void ShowTally(const StationTally* tally);
    // Writes the log's report as one page and opens it; a failure is told in the dialog.
    void WriteReport();
    void ShowError(const QString& text);

    QCheckBox* modeBox_ = nullptr;
    QLineEdit* logField_ = nullptr;
    QLineEdit* stationField_ = nullptr;
    QLineEdit* operatorField_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* stationLine_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* reportButton_ = nullptr;
    QLabel* error_ = nullptr;
    std::function<void()> reset_;
    ReportOpener openReport_;
};

}  // namespace vantrel
