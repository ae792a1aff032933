#include "ui/MessagePresenter.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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

// A text too tall for the screen goes into a scroll area in the box's own layout, in place of
// its label, so the buttons stay in sight.
void ScrollTallText(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const QScreen* screen = box.parentWidget() != nullptr ? box.parentWidget()->screen()
                                                          : QGuiApplication::primaryScreen();
    if (label == nullptr || grid == nullptr || screen == nullptr) {
        return;
    }
    const int room = screen->availableGeometry().height() * 2 / 3;
    if (label->sizeHint().height() <= room) {
        return;
    }
    const int index = grid->indexOf(label);
    int row = 0;
    int column = 0;
    int rows = 0;
    int columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    auto* area = new QScrollArea(&box);
    area->setObjectName(QStringLiteral("vantrel_scrolling_text"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    grid->removeWidget(label);
    area->setWidget(label);
    area->setFixedHeight(room);
    area->setMinimumWidth(label->sizeHint().width() +
                          area->verticalScrollBar()->sizeHint().width());
    grid->addWidget(area, row, column, rows, columns);
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
    ScrollTallText(box);
    const QPointer<QWidget> outer = open_;
    open_ = &box;
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    open_ = outer;
    for (const ButtonMap& entry : buttons) {
        if (entry.button == pressed) {
            return entry.result;
        }
    }
    // Closed without a button: what the escape button stands for.
    return buttons.size() == 1 ? buttons.front().result : BoxResult::Cancel;
}

void QtMessagePresenter::CloseOpenBox() {
    if (auto* box = qobject_cast<QMessageBox*>(open_.data())) {
        box->reject();
    }
}

}  // namespace vantrel
