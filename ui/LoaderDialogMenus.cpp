// The window's menu: in the platform's window menu where there is one, on a right click and
// by its shortcuts everywhere.
#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <memory>

#include "ui/ControlIds.h"
#include "ui/LoaderDialog.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace vantrel {

void CLoaderDialog::AddWindowMenu() {
#ifdef Q_OS_WIN
    HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    if (menu != nullptr) {
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kStationCommand), L"Station...");
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kPortMappingCommand),
                      L"Port Mapping...");
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(ids::kAboutCommand), L"About...");
    }
#endif
    // Also what a right click anywhere in the window opens, and where the shortcuts live.
    windowMenu_ = new QMenu(this);
    const auto add = [this](const QString& text, int command, const QKeySequence& keys) {
        QAction* action = windowMenu_->addAction(text);
        action->setData(command);
        action->setShortcut(keys);
        addAction(action);
    };
    add(QStringLiteral("Station..."), ids::kStationCommand, QKeySequence(Qt::CTRL | Qt::Key_T));
    add(QStringLiteral("Port Mapping..."), ids::kPortMappingCommand,
        QKeySequence(Qt::CTRL | Qt::Key_M));
    add(QStringLiteral("About..."), ids::kAboutCommand, QKeySequence());
    connect(windowMenu_, &QMenu::triggered, this,
            [this](QAction* action) { SystemCommand(action->data().toInt()); });
}

void CLoaderDialog::ShowContextMenu(QWidget* widget, const QPoint& position) {
    // The field's own commands (copy, select all) first, then the window's.
    auto* field = qobject_cast<QLineEdit*>(widget);
    std::unique_ptr<QMenu> menu(field != nullptr ? field->createStandardContextMenu()
                                                 : new QMenu(this));
    menu->addSeparator();
    menu->addActions(windowMenu_->actions());
    menu->exec(widget->mapToGlobal(position));
}

void CLoaderDialog::SystemCommand(int id) {
    const int command = id & 0xFFF0;
    if (command == ids::kAboutCommand) {
        OnAbout();
    } else if (command == ids::kPortMappingCommand) {
        OnPortMapping();
    } else if (command == ids::kStationCommand) {
        OnStation();
    } else if (command == ids::kCloseCommand) {
        close();  // comes back as the close event, and so to Exit
    }
}

void CLoaderDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (windowMenu_ == nullptr) {
        QDialog::contextMenuEvent(event);
        return;
    }
    windowMenu_->exec(event->globalPos());
}

#ifdef Q_OS_WIN
bool CLoaderDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const auto* msg = static_cast<const MSG*>(message);
    const int command = static_cast<int>(msg->wParam) & 0xFFF0;
    if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
        (command == ids::kAboutCommand || command == ids::kPortMappingCommand ||
         command == ids::kStationCommand)) {
        SystemCommand(static_cast<int>(msg->wParam));
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

}  // namespace vantrel
