#pragma once

#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serial/PortMapping.h"
#include "ui/FileChooser.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"
#include "ui/MessagePresenter.h"

namespace vantrel::testing {

// One box the program asked for, as the routine settled it.
struct ShownBox {
    QPointer<QWidget> owner;
    QString caption;
    QString text;
    BoxType type;
    bool onUiThread = false;
};

// Stands in for the real boxes: records each one and answers from a queue, or with the box's
// default button when the queue is empty. A box whose text starts with holdOpenWhen stays open,
// its events going on, until CloseOpenBox, and then answers as its escape button would.
class RecordingPresenter : public MessagePresenter {
  public:
    BoxResult Present(const BoxRequest& request) override;
    void CloseOpenBox() override { closeRequested = true; }

    QStringList Texts() const;

    std::vector<ShownBox> shown;
    std::deque<BoxResult> answers;
    QString holdOpenWhen;
    bool closeRequested = false;
};

// Stands in for the open-file dialog: records each request and answers from a queue; an empty
// queue cancels.
class ScriptedChooser : public FileChooser {
  public:
    std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) override;

    std::vector<FileRequest> requests;
    std::deque<std::optional<QString>> answers;
};

// A pseudo-terminal whose slave side stands in for a serial device. A slave descriptor is kept
// open here, so the device stays usable while the loader opens and closes it.
class PtyDevice {
  public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool Valid() const { return master_ >= 0 && slave_ >= 0; }
    const QString& Path() const { return path_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// Processes events until done() holds; false if it did not within the limit (a guard against
// hanging, not a measure of speed).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// Writes text to a file; false on failure.
bool WriteFile(const QString& path, const std::string& text);
// A pattern of bytes that differs from chunk to chunk.
std::vector<std::uint8_t> PatternBytes(std::size_t size);
std::string ReadAll(std::FILE* file);

// The ids of the widgets Tab reaches, in order, starting at from, once around.
std::vector<int> TabCycle(QWidget* from);

// A fresh settings file, a recorder for message boxes, a scripted file chooser and a table of
// ports; the window is built on demand, after the test has put what it needs in the store.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // The application object, made on first use with this executable path.
    CLoaderApp& App(const QString& executablePath = QStringLiteral("/opt/tools.d/Vantrel"));
    // The window, made on first use and shown (not modally).
    CLoaderDialog& Window();
    void Seed(const QString& section, const QString& name, const QString& value);
    QString Stored(const QString& section, const QString& name) const;

    template <class T = QWidget>
    T* Control(int id) {
        return FindControl<T>(Window(), id);
    }
    void Click(int id);
    // Clicks port N's box and gives the port a device that opens.
    void TickWithDevice(int port);
    QString RomFileWith(const QString& name, const std::string& content);

    QTemporaryDir dir_;
    QString settingsFile_;
    RecordingPresenter boxes_;
    ScriptedChooser chooser_;
    TablePortMapping mapping_;
    std::vector<std::unique_ptr<PtyDevice>> devices_;
    std::unique_ptr<CLoaderApp> app_;
    // Builds the window; tests may build a subclass instead.
    std::function<std::unique_ptr<CLoaderDialog>(CLoaderApp&, const PortMapping&)> makeWindow_;
    std::unique_ptr<CLoaderDialog> window_;
};

}  // namespace vantrel::testing
