#include "ui/AboutDialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>

#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/ProgramIcon.h"
#include "ui/ProgramInfo.h"

namespace vantrel {
namespace {

constexpr int kDialogWidth = 129;
constexpr int kDialogHeight = 93;

QLabel* MakeLine(QWidget* parent, const QString& text, const QRect& geometry, int id = 0) {
    auto* label = new QLabel(text, parent);
    if (id != 0) {
        SetControlId(*label, id);
    }
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    SetControlId(*this, ids::kAboutDialog);
    setWindowTitle(QStringLiteral("About..."));
    setFont(DialogFont());
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    auto* frame = new QGroupBox(this);
    frame->setGeometry(units.Rect(6, 2, 117, 84));

    MakeLine(this, QString::fromLatin1(kProgramName), units.Rect(15, 15, 63, 9), ids::kAboutName);
    MakeLine(this, VersionLine(), units.Rect(15, 27, 63, 9), ids::kAboutVersion);
    MakeLine(this, DateLine(), units.Rect(15, 39, 63, 9), ids::kAboutDate);
    MakeLine(this, QStringLiteral("Serial firmware loader"), units.Rect(29, 56, 84, 9));
    MakeLine(this, QStringLiteral("for up to 16 units"), units.Rect(29, 68, 84, 9));

    // An icon control takes the icon's own size at its position.
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon%1").arg(ids::kProgramIcon));
    icon->setPixmap(ProgramIconPixmap());
    icon->setGeometry(QRect(units.Point(88, 19), QSize(kIconSize, kIconSize)));
}

void CAboutDialog::keyPressEvent(QKeyEvent* event) {
    // With no button to press, Enter is the accept command and ends the box.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vantrel
