#pragma once

#include <QPointer>
#include <QString>
#include <QThread>
#include <QWidget>
#include <memory>

#include "settings/SettingsStore.h"
#include "ui/MessagePresenter.h"

namespace vantrel {

// The name the program presents: the executable's file name without its directory and without
// everything from its last dot. A dot in a directory name does not count.
QString ApplicationNameFromPath(const QString& executablePath);

// The application object: names the program, owns the remembered settings, runs the main window
// for the program's whole life, and shows every message box. One per process, made on the UI
// thread after the QApplication.
class CLoaderApp {
  public:
    // settingsFile: keep the settings in this file instead of the per-user store.
    explicit CLoaderApp(const QString& executablePath, const QString& settingsFile = {});
    ~CLoaderApp();
    CLoaderApp(const CLoaderApp&) = delete;
    CLoaderApp& operator=(const CLoaderApp&) = delete;

    const QString& ApplicationName() const { return applicationName_; }
    // Empty until the store is opened; then the company key and a copy of the application name.
    const QString& CompanyKey() const { return companyKey_; }
    const QString& ProfileName() const { return profileName_; }

    // Opens the store under the company key; later calls change nothing.
    void OpenSettings();
    // The store; opened on first use if start-up has not done it yet.
    SettingsStore& Settings();

    // Opens the store, runs the main window modally, and returns false once it has ended: there
    // is nothing more for the program to do.
    bool Startup();

    // The one message-box routine, on the UI thread only (elsewhere it throws
    // std::logic_error). The owner is the main window or the dialog open above it; the caption
    // is the application name; a box with OK, OK-Cancel, Yes-No or Yes-No-Cancel buttons and no
    // icon gets the exclamation icon. Blocks until the box is closed.
    BoxResult ShowMessageBox(const QString& text, BoxType type, QWidget* owner = nullptr);
    // Closes the box shown now, as its escape button would.
    void CloseOpenBox() { presenter_->CloseOpenBox(); }

    void SetMainWindow(QWidget* window) { mainWindow_ = window; }
    QWidget* MainWindow() const { return mainWindow_.data(); }
    // presenter must outlive its use; nullptr puts the real boxes back.
    void SetMessagePresenter(MessagePresenter* presenter);

  private:
    QString applicationName_;
    QString settingsFile_;
    QString companyKey_;
    QString profileName_;
    std::unique_ptr<SettingsStore> settings_;
    QPointer<QWidget> mainWindow_;
    QtMessagePresenter realBoxes_;
    MessagePresenter* presenter_ = &realBoxes_;
    QThread* uiThread_;
};

}  // namespace vantrel
