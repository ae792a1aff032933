#pragma once

#include <QDialog>
#include <functional>

#include "ui/StationMode.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vantrel {

// "Station": station mode on or off, its run log and the names its records carry, and the
// tallies of the batches so far with a way to reset them. OK keeps what was typed and a reset
// asked for; Cancel keeps nothing. While a run is in progress the settings are only shown.
class CStationDialog : public QDialog {
    Q_OBJECT
  public:
    // Asks a question with Yes and No and answers whether it was Yes.
    using Confirm = std::function<bool(const QString& question)>;

    // tally: nothing when station mode is off.
    CStationDialog(const StationSettings& settings, const StationTally* tally, bool runActive,
                   Confirm confirm, QWidget* parent = nullptr);

    StationSettings Settings() const;
    // Reset Tallies was pressed and confirmed: the tallies start again once OK is pressed.
    bool TalliesReset() const { return talliesReset_; }
    QPushButton* ResetButton() const { return resetButton_; }
    // What the dialog said last (an error, or where the report went); empty when nothing.
    QString Note() const;

    QCheckBox* ModeBox() const { return modeBox_; }
    QCheckBox* HandsFreeBox() const { return handsFreeBox_; }
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
    void ShowNote(const QString& text);

    QCheckBox* modeBox_ = nullptr;
    QCheckBox* handsFreeBox_ = nullptr;
    QLineEdit* logField_ = nullptr;
    QLineEdit* stationField_ = nullptr;
    QLineEdit* operatorField_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* stationLine_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* reportButton_ = nullptr;
    QLabel* error_ = nullptr;
    Confirm confirm_;
    bool talliesReset_ = false;
    ReportOpener openReport_;
};

}  // namespace vantrel
