#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantrel {

class CLoaderDialog;

// "Options": edits the main window's firmware base-address text and ROM type. The boot ROM
// choice, the boot base address and "Don't wait for ACK" are shown greyed and do nothing.
class COptionsDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kBaseAddressLimit = 8;

    // mainWindow is the parent and the window whose fields are edited.
    explicit COptionsDialog(CLoaderDialog& mainWindow);

    // OK or Enter: copies the ROM type and the base-address text back, and ends the dialog
    // unless the text is longer than the limit.
    void accept() override;

  private:
    class LengthLimit;

    void BuildControls();
    // show: fields to controls; take: controls to fields, false when the text is too long.
    bool ExchangeData(bool take);
    void ShowRomType(int index);

    CLoaderDialog& mainWindow_;
    int romTypeIndex_ = 0;  // position of the ticked ROM type button, -1 for none
    int noWait_ = 0;
    QString baseAddressText_;

    QPushButton* okButton_ = nullptr;
    QRadioButton* firmwareRom_ = nullptr;
    QRadioButton* bootRom_ = nullptr;
    QLineEdit* baseAddressField_ = nullptr;
    LengthLimit* lengthLimit_ = nullptr;
    QLineEdit* bootBaseAddressField_ = nullptr;
    QCheckBox* noWaitBox_ = nullptr;
};

}  // namespace vantrel
