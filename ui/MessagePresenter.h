#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace vantrel {

// The kinds of message box the program shows: which buttons, which icon, which answer.
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class BoxIcon { None, Exclamation, Stop, Information, Question };
enum class BoxResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

struct BoxType {
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    int defaultButton = 0;  // position among the buttons, from 0

    friend bool operator==(const BoxType&, const BoxType&) = default;
};

// One box as it is to be shown: owner, caption and icon already settled.
struct BoxRequest {
    QPointer<QWidget> owner;
    QString caption;
    QString text;
    BoxType type;
};

// Shows message boxes; on the UI thread only. Tests put a recorder in its place.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Shows the box modally to its owner and returns the button pressed.
    virtual BoxResult Present(const BoxRequest& request) = 0;
    // Closes the box shown now, if any, as its escape button would: a question whose reason
    // has gone answers No.
    virtual void CloseOpenBox() = 0;
};

// The real boxes, as QMessageBox. A text taller than the screen allows scrolls in the box.
class QtMessagePresenter : public MessagePresenter {
  public:
    BoxResult Present(const BoxRequest& request) override;
    void CloseOpenBox() override;

  private:
    QPointer<QWidget> open_;
};

}  // namespace vantrel
