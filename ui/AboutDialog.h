#pragma once

#include <QDialog>

namespace vantrel {

// "About...": the program's name, version and date beside its icon. No buttons; Enter, Escape
// and the close box end it.
class CAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vantrel
