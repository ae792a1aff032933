// What a run shows, on the window's own thread: its rows, its boxes, its bar and Start.
#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "engine/UnitStage.h"
#include "runlog/RunRecord.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"
#include "ui/LoaderDialogParts.h"

namespace vantrel {
namespace {

using window::kProgressMaximum;
using window::kProgressMinimum;

// A row's result in station mode, as its status field shows it: colours only, so the field
// keeps the window's font.
struct RowColours {
    QColor base;
    QColor text;
};
constexpr RowColours kPassedColours{QColor(0xd1, 0xf0, 0xd8), QColor(0x0b, 0x5a, 0x1e)};
constexpr RowColours kFailedColours{QColor(0xf9, 0xd2, 0xd2), QColor(0x8a, 0x0f, 0x0f)};

}  // namespace

void window::ShowStatusText(QLineEdit& field, const QString& text) {
    field.setText(text);
    field.setCursorPosition(0);
    const int room = field.contentsRect().width() - 6;
    field.setToolTip(field.fontMetrics().horizontalAdvance(text) > room ? text : QString());
}

void CLoaderDialog::SetStatusText(int port, const QString& text) {
    window::ShowStatusText(*statusFields_[PortIndex(port)], text);
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

}  // namespace vantrel
