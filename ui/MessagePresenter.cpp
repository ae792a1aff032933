#include "ui/MessagePresenter.h"

#include <QMessageBox>
#include <vector>

namespace vantrel {
namespace {

struct ButtonMap {
    QMessageBox::StandardButton button;
    BoxResult result;
};

std::vector<ButtonMap> ButtonsOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return {{QMessageBox::Ok, BoxResult::Ok}};
        case BoxButtons::OkCancel:
            return {{QMessageBox::Ok, BoxResult::Ok}, {QMessageBox::Cancel, BoxResult::Cancel}};
        case BoxButtons::YesNo:
            return {{QMessageBox::Yes, BoxResult::Yes}, {QMessageBox::No, BoxResult::No}};
        case BoxButtons::YesNoCancel:
            return {{QMessageBox::Yes, BoxResult::Yes},
                    {QMessageBox::No, BoxResult::No},
                    {QMessageBox::Cancel, BoxResult::Cancel}};
        case BoxButtons::RetryCancel:
            return {{QMessageBox::Retry, BoxResult::Retry},
                    {QMessageBox::Cancel, BoxResult::Cancel}};
        case BoxButtons::AbortRetryIgnore:
            return {{QMessageBox::Abort, BoxResult::Abort},
                    {QMessageBox::Retry, BoxResult::Retry},
                    {QMessageBox::Ignore, BoxResult::Ignore}};
    }
    return {{QMessageBox::Ok, BoxResult::Ok}};
}

QMessageBox::Icon IconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::None:
            return QMessageBox::NoIcon;
        case BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case BoxIcon::Stop:
            return QMessageBox::Critical;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

BoxResult QtMessagePresenter::Present(const BoxRequest& request) {
    QMessageBox box(IconOf(request.type.icon), request.caption, request.text, QMessageBox::NoButton,
                    request.owner.data());
    const std::vector<ButtonMap> buttons = ButtonsOf(request.type.buttons);
    for (const ButtonMap& entry : buttons) {
        box.addButton(entry.button);
    }
    const auto defaultIndex = static_cast<std::size_t>(request.type.defaultButton);
    box.setDefaultButton(buttons.at(defaultIndex < buttons.size() ? defaultIndex : 0).button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const ButtonMap& entry : buttons) {
        if (entry.button == pressed) {
            return entry.result;
        }
    }
    // Closed without a button: what the escape button stands for.
    return buttons.size() == 1 ? buttons.front().result : BoxResult::Cancel;
}

}  // namespace vantrel
