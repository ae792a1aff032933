#include "ui/StationDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "reports/StatsPage.h"
#include "runlog/LogTarget.h"
#include "runlog/NameRules.h"
#include "settings/PortLabel.h"
#include "ui/DialogUnits.h"

namespace vantrel {

CStationDialog::CStationDialog(const StationSettings& settings, const StationTally* tally,
                               bool runActive, Confirm confirm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      confirm_(std::move(confirm)),
      openReport_([](const QString& path) {
          return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
      }) {
    setWindowTitle(QStringLiteral("Station"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);

    modeBox_ = new QCheckBox(
        QStringLiteral("Station mode: a failed unit never stops the batch; one summary at its end"),
        this);
    modeBox_->setChecked(settings.on);
    layout->addWidget(modeBox_);
    handsFreeBox_ = new QCheckBox(
        QStringLiteral("Hands-free: each port flashes every unit the moment it is plugged in"),
        this);
    handsFreeBox_->setChecked(settings.handsFree);
    handsFreeBox_->setEnabled(settings.on && !runActive);
    connect(modeBox_, &QCheckBox::toggled, handsFreeBox_, &QWidget::setEnabled);
    layout->addWidget(handsFreeBox_);

    auto* form = new QFormLayout;
    logField_ = new QLineEdit(settings.logTarget, this);
    logField_->setPlaceholderText(
        QStringLiteral("none, an SQLite file, or postgresql://user@host/database"));
    logField_->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    form->addRow(QStringLiteral("Run &log:"), logField_);
    stationField_ = new QLineEdit(settings.station, this);
    stationField_->setPlaceholderText(QStringLiteral("this computer's name"));
    form->addRow(QStringLiteral("&Station name:"), stationField_);
    operatorField_ = new QLineEdit(settings.operatorName, this);
    operatorField_->setPlaceholderText(QStringLiteral("the login name"));
    form->addRow(QStringLiteral("&Operator:"), operatorField_);
    layout->addLayout(form);
    error_ = new QLabel(this);
    error_->setWordWrap(true);
    error_->hide();
    layout->addWidget(error_);
    for (QWidget* field :
         {static_cast<QWidget*>(modeBox_), static_cast<QWidget*>(logField_),
          static_cast<QWidget*>(stationField_), static_cast<QWidget*>(operatorField_)}) {
        // What a run records is settled when it starts.
        field->setEnabled(!runActive);
    }

    table_ = new QTableWidget(0, 4, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Passed"),
                                       QStringLiteral("Failed"), QStringLiteral("Last failure")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setMinimumHeight(fontMetrics().height() * 12);
    layout->addWidget(table_);
    stationLine_ = new QLabel(this);
    layout->addWidget(stationLine_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    resetButton_ =
        buttons->addButton(QStringLiteral("&Reset Tallies"), QDialogButtonBox::ResetRole);
    resetButton_->setEnabled(tally != nullptr && !runActive);
    connect(resetButton_, &QPushButton::clicked, this, [this] {
        if (!confirm_(QStringLiteral("Reset the tallies of every port and of the station?\n\n"
                                     "They start again from nothing once you press OK; Cancel "
                                     "keeps them."))) {
            return;
        }
        talliesReset_ = true;
        const StationTally empty;
        ShowTally(&empty);
    });
    reportButton_ =
        buttons->addButton(QStringLiteral("&HTML Report..."), QDialogButtonBox::ActionRole);
    reportButton_->setToolTip(
        QStringLiteral("Writes the run log's yield, units per hour and failures as one page and "
                       "opens it"));
    connect(reportButton_, &QPushButton::clicked, this, &CStationDialog::WriteReport);
    connect(buttons, &QDialogButtonBox::accepted, this, &CStationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CStationDialog::reject);
    layout->addWidget(buttons);
    ShowTally(tally);
}

void CStationDialog::ShowTally(const StationTally* tally) {
    if (tally == nullptr) {
        table_->setRowCount(0);
        stationLine_->setText(QStringLiteral("Tallies are kept in station mode."));
        return;
    }
    table_->setRowCount(static_cast<int>(tally->Ports().size()));
    int row = 0;
    for (const StationTally::Port& port : tally->Ports()) {
        const QStringList cells = {QString::fromStdString(PortLabel(port.port)),
                                   QString::number(port.passed), QString::number(port.failed),
                                   QString::fromStdString(port.lastFailure)};
        for (int column = 0; column < cells.size(); ++column) {
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        ++row;
    }
    table_->resizeColumnsToContents();
    stationLine_->setText(QString::fromStdString(tally->StationLine()).trimmed());
}

void CStationDialog::WriteReport() {
    const QString target = logField_->text().trimmed();
    if (target.isEmpty()) {
        ShowError(QStringLiteral("Name a run log first: the report is made from it."));
        return;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/station-report.html");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<std::string> error;
    try {
        WriteLogPage(target.toStdString(), {}, path.toStdString());
    } catch (const ReportError& failure) {
        error = failure.what();
    }
    QApplication::restoreOverrideCursor();
    const QString shown = QDir::toNativeSeparators(path);
    if (error) {
        ShowError(QString::fromStdString(*error));
    } else if (!openReport_(path)) {
        ShowError(QStringLiteral("The report is written to %1; no browser could open it: open "
                                 "that file in a browser.")
                      .arg(shown));
    } else {
        // A browser may open nothing and still say it did: where the page is, is always told.
        ShowNote(
            QStringLiteral("The report is written to %1 and opened in the browser.").arg(shown));
    }
}

void CStationDialog::ShowError(const QString& text) {
    error_->setStyleSheet(QStringLiteral("color: #b00020"));
    error_->setText(text);
    error_->show();
}

void CStationDialog::ShowNote(const QString& text) {
    error_->setStyleSheet(QString());
    error_->setText(text);
    error_->show();
}

QString CStationDialog::Note() const {
    return error_->isHidden() ? QString() : error_->text();
}

StationSettings CStationDialog::Settings() const {
    return {modeBox_->isChecked(), logField_->text().trimmed(), stationField_->text().trimmed(),
            operatorField_->text().trimmed(), handsFreeBox_->isChecked()};
}

void CStationDialog::accept() {
    const QString target = logField_->text().trimmed();
    if (!target.isEmpty()) {
        const auto parsed = ParseLogTarget(target.toStdString());
        if (const auto* error = std::get_if<LogTargetError>(&parsed)) {
            ShowError(QString::fromStdString(error->text));
            logField_->setFocus();
            return;
        }
    }
    // Empty names take the computer's and the login's; given ones go into the log as they are.
    for (const auto& [field, label] : {std::pair{stationField_, "The station name"},
                                       std::pair{operatorField_, "The operator name"}}) {
        const QString name = field->text().trimmed();
        if (const auto fault = NameFault(name.toStdString()); fault && !name.isEmpty()) {
            ShowError(QString::fromLatin1(label) + ' ' + QString::fromStdString(*fault) +
                      QStringLiteral(": give a name without control characters."));
            field->setFocus();
            return;
        }
    }
    QDialog::accept();
}

}  // namespace vantrel
