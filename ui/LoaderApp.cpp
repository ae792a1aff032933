#include "ui/LoaderApp.h"

#include <QApplication>
#include <QThread>
#include <algorithm>
#include <stdexcept>

#include "serial/PortMapping.h"
#include "ui/LoaderDialog.h"
#include "ui/ProgramInfo.h"

namespace vantrel {

QString ApplicationNameFromPath(const QString& executablePath) {
    const qsizetype separator =
        std::max({executablePath.lastIndexOf('/'), executablePath.lastIndexOf('\\'),
                  executablePath.lastIndexOf(':')});
    QString name = executablePath.mid(separator + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    // A file called ".rom" or the like would leave nothing to name the settings key by.
    return name.isEmpty() ? QString::fromLatin1(kProgramName) : name;
}

CLoaderApp::CLoaderApp(const QString& executablePath, const QString& settingsFile)
    : applicationName_(ApplicationNameFromPath(executablePath)),
      settingsFile_(settingsFile),
      uiThread_(QThread::currentThread()) {}

CLoaderApp::~CLoaderApp() = default;

void CLoaderApp::OpenSettings() {
    if (settings_) {
        return;
    }
    companyKey_ = QString::fromLatin1(SettingsStore::kCompanyKey);
    profileName_ = applicationName_;
    settings_ = std::make_unique<SettingsStore>(profileName_, settingsFile_);
}

SettingsStore& CLoaderApp::Settings() {
    OpenSettings();
    return *settings_;
}

bool CLoaderApp::Startup() {
    OpenSettings();
    // Qt's serial ports need no hosting switched on before the window exists.
    const SettingsPortMapping mapping(Settings());
    CLoaderDialog window(*this, mapping);
    SetMainWindow(&window);
    window.exec();
    return false;
}

void CLoaderApp::SetMessagePresenter(MessagePresenter* presenter) {
    presenter_ = presenter != nullptr ? presenter : &realBoxes_;
}

BoxResult CLoaderApp::ShowMessageBox(const QString& text, BoxType type, QWidget* owner) {
    // A run's boxes come here through its host, which crosses threads and heeds a stop.
    if (QThread::currentThread() != uiThread_) {
        throw std::logic_error("a message box was asked for off the UI thread");
    }
    BoxRequest request;
    request.owner = owner;
    if (request.owner.isNull()) {
        request.owner = QApplication::activeModalWidget();
    }
    if (request.owner.isNull()) {
        request.owner = mainWindow_;
    }
    request.caption = applicationName_;
    request.text = text;
    request.type = type;
    const bool plainButtons =
        type.buttons == BoxButtons::Ok || type.buttons == BoxButtons::OkCancel ||
        type.buttons == BoxButtons::YesNo || type.buttons == BoxButtons::YesNoCancel;
    if (type.icon == BoxIcon::None && plainButtons) {
        request.type.icon = BoxIcon::Exclamation;
    }
    // When the box goes, the keyboard is where it was: a key meant for the box must not land
    // on whatever the window system picks next.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    const BoxResult result = presenter_->Present(request);
    if (focused && focused->isVisible() && focused->isEnabled()) {
        focused->setFocus(Qt::OtherFocusReason);
    }
    return result;
}

}  // namespace vantrel
