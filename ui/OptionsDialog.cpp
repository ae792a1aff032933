#include "ui/OptionsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"

namespace vantrel {
namespace {

constexpr int kDialogWidth = 270;
constexpr int kDialogHeight = 94;

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

// Refuses typing that would take the text past the limit, as the platform's edit limit does.
// A longer text put in by the program is kept whole and may only get shorter.
class COptionsDialog::LengthLimit : public QValidator {
  public:
    LengthLimit(QLineEdit& field, int limit) : QValidator(&field), field_(field), limit_(limit) {
        connect(&field, &QLineEdit::textChanged, this,
                [this](const QString& text) { lastText_ = text; });
    }

    // Puts a text of any length into the field. The field checks it before it says it changed,
    // so the length it may keep is set first.
    void SetText(const QString& text) {
        lastText_ = text;
        field_.setText(text);
    }

    State validate(QString& input, int& /*position*/) const override {
        return input.size() <= limit_ || input.size() <= lastText_.size() ? Acceptable : Invalid;
    }

  private:
    QLineEdit& field_;
    int limit_;
    QString lastText_;
};

COptionsDialog::COptionsDialog(CLoaderDialog& mainWindow)
    : QDialog(&mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    BuildControls();
    ExchangeData(false);
    romTypeIndex_ = mainWindow_.RomType() != 0 ? 1 : 0;
    baseAddressText_ = mainWindow_.BaseAddressText();
    ExchangeData(false);
    okButton_->setFocus();
}

void COptionsDialog::BuildControls() {
    SetControlId(*this, ids::kOptionsDialog);
    setWindowTitle(QStringLiteral("Options"));
    setFont(DialogFont());
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    auto* romType = new QGroupBox(QStringLiteral("ROM Type"), this);
    romType->setGeometry(units.Rect(7, 4, 102, 64));
    auto* misc = new QGroupBox(QStringLiteral("Miscellaneous"), this);
    misc->setGeometry(units.Rect(115, 4, 148, 64));

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(*okButton_, ids::kOk);
    okButton_->setGeometry(units.Rect(183, 74, 50, 15));
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &COptionsDialog::accept);

    // The radio buttons are not tab stops; a click still ticks and focuses them.
    firmwareRom_ = new QRadioButton(QStringLiteral("Update Firmware ROM"), this);
    SetControlId(*firmwareRom_, ids::kUpdateFirmwareRom);
    firmwareRom_->setGeometry(units.Rect(16, 20, 88, 10));
    firmwareRom_->setFocusPolicy(Qt::ClickFocus);

    bootRom_ = new QRadioButton(QStringLiteral("Update Boot ROM"), this);
    SetControlId(*bootRom_, ids::kUpdateBootRom);
    bootRom_->setGeometry(units.Rect(16, 38, 88, 10));
    bootRom_->setFocusPolicy(Qt::ClickFocus);
    bootRom_->setEnabled(false);

    baseAddressField_ = new QLineEdit(this);
    SetControlId(*baseAddressField_, ids::kFwBaseAddress);
    baseAddressField_->setGeometry(units.Rect(207, 34, 41, 12));
    lengthLimit_ = new LengthLimit(*baseAddressField_, kBaseAddressLimit);
    baseAddressField_->setValidator(lengthLimit_);
    MakeLabel(this, QStringLiteral("FW Base Address:"), units.Rect(124, 34, 68, 12));
    MakeLabel(this, QStringLiteral("0x"), units.Rect(197, 34, 8, 12));

    bootBaseAddressField_ = new QLineEdit(this);
    SetControlId(*bootBaseAddressField_, ids::kBootBaseAddress);
    bootBaseAddressField_->setGeometry(units.Rect(207, 50, 41, 12));
    bootBaseAddressField_->setEnabled(false);
    MakeLabel(this, QStringLiteral("Boot Base Address:"), units.Rect(124, 50, 68, 12));
    MakeLabel(this, QStringLiteral("0x"), units.Rect(197, 50, 8, 12));

    noWaitBox_ = new QCheckBox(QStringLiteral("Don't wait for ACK during download"), this);
    SetControlId(*noWaitBox_, ids::kNoWaitForAck);
    noWaitBox_->setGeometry(units.Rect(124, 17, 132, 10));
    noWaitBox_->setEnabled(false);

    QWidget::setTabOrder(okButton_, baseAddressField_);
}

void COptionsDialog::ShowRomType(int index) {
    // An exclusive button cannot be unticked while it is the ticked one, and -1 ticks none.
    for (QRadioButton* button : {firmwareRom_, bootRom_}) {
        button->setAutoExclusive(false);
    }
    firmwareRom_->setChecked(index == 0);
    bootRom_->setChecked(index == 1);
    for (QRadioButton* button : {firmwareRom_, bootRom_}) {
        button->setAutoExclusive(true);
    }
}

bool COptionsDialog::ExchangeData(bool take) {
    if (take) {
        romTypeIndex_ = firmwareRom_->isChecked() ? 0 : bootRom_->isChecked() ? 1 : -1;
        noWait_ = static_cast<int>(noWaitBox_->checkState());
        baseAddressText_ = baseAddressField_->text();
        if (baseAddressText_.size() > kBaseAddressLimit) {
            mainWindow_.App().ShowMessageBox(
                QStringLiteral("Please enter no more than %1 characters.").arg(kBaseAddressLimit),
                BoxType{}, this);
            baseAddressField_->setFocus();
            baseAddressField_->selectAll();
            return false;
        }
        return true;
    }
    ShowRomType(romTypeIndex_);
    if (noWait_ < 0 || noWait_ > 2) {
        noWait_ = 0;
    }
    noWaitBox_->setCheckState(static_cast<Qt::CheckState>(noWait_));
    lengthLimit_->SetText(baseAddressText_);
    return true;
}

void COptionsDialog::accept() {
    // The ROM type and the text go back even when the text is too long; only ending the
    // dialog waits for a text that fits.
    ExchangeData(true);
    mainWindow_.SetRomType(romTypeIndex_ != 0 ? CLoaderDialog::kRomTypeBoot
                                              : CLoaderDialog::kRomTypeFirmware);
    mainWindow_.SetBaseAddressText(baseAddressText_);
    if (ExchangeData(true)) {
        QDialog::accept();
    }
}

}  // namespace vantrel
