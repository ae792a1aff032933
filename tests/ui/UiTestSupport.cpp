#include "tests/ui/UiTestSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QThread>

#include "ui/ControlIds.h"

namespace vantrel::testing {
namespace {

std::vector<BoxResult> ButtonsOf(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return {BoxResult::Ok};
        case BoxButtons::OkCancel:
            return {BoxResult::Ok, BoxResult::Cancel};
        case BoxButtons::YesNo:
            return {BoxResult::Yes, BoxResult::No};
        case BoxButtons::YesNoCancel:
            return {BoxResult::Yes, BoxResult::No, BoxResult::Cancel};
        case BoxButtons::RetryCancel:
            return {BoxResult::Retry, BoxResult::Cancel};
        case BoxButtons::AbortRetryIgnore:
            return {BoxResult::Abort, BoxResult::Retry, BoxResult::Ignore};
    }
    return {BoxResult::Ok};
}

}  // namespace

BoxResult RecordingPresenter::Present(const BoxRequest& request) {
    shown.push_back({request.owner, request.caption, request.text, request.type,
                     QThread::currentThread() == QCoreApplication::instance()->thread()});
    if (!holdOpenWhen.isEmpty() && request.text.startsWith(holdOpenWhen)) {
        // As a modal box does: the program's events go on until the box is closed.
        closeRequested = false;
        WaitUntil([this] { return closeRequested; }, std::chrono::seconds(120));
        return request.type.buttons == BoxButtons::Ok ? BoxResult::Ok : BoxResult::Cancel;
    }
    if (!answers.empty()) {
        const BoxResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    const auto buttons = ButtonsOf(request.type.buttons);
    const auto index = static_cast<std::size_t>(request.type.defaultButton);
    return index < buttons.size() ? buttons[index] : buttons.front();
}

QStringList RecordingPresenter::Texts() const {
    QStringList texts;
    for (const ShownBox& box : shown) {
        texts << box.text;
    }
    return texts;
}

std::optional<QString> ScriptedChooser::ChooseFile(QWidget* /*owner*/, const FileRequest& request) {
    requests.push_back(request);
    if (answers.empty()) {
        return std::nullopt;
    }
    const bool cancelled = !answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    if (cancelled) {
        return std::nullopt;
    }
    return path;
}

PtyDevice::PtyDevice() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        return;
    }
    path_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    // What the loader writes is never read here; keep the master from filling up.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyDevice::~PtyDevice() {
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QTest::qWait(2);
    }
    return true;
}

bool WriteFile(const QString& path, const std::string& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

std::vector<std::uint8_t> PatternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 224 * 7 + 3) & 0xFF);
    }
    return bytes;
}

std::string ReadAll(std::FILE* file) {
    std::string text;
    char buffer[256];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, count);
    }
    return text;
}

std::vector<int> TabCycle(QWidget* from) {
    std::vector<int> order;
    QWidget* window = from->window();
    QWidget* widget = from;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget->isEnabled() &&
            widget->isVisibleTo(window) && widget != window) {
            order.push_back(ControlId(*widget));
        }
        widget = widget->nextInFocusChain();
    } while (widget != from && order.size() < 200);
    return order;
}

WindowTest::WindowTest()
    : settingsFile_(dir_.filePath(QStringLiteral("settings.ini"))),
      makeWindow_([](CLoaderApp& app, const PortMapping& mapping) {
          return std::make_unique<CLoaderDialog>(app, mapping);
      }) {}

WindowTest::~WindowTest() {
    window_.reset();
    app_.reset();
}

CLoaderApp& WindowTest::App(const QString& executablePath) {
    if (!app_) {
        app_ = std::make_unique<CLoaderApp>(executablePath, settingsFile_);
        app_->SetMessagePresenter(&boxes_);
    }
    return *app_;
}

CLoaderDialog& WindowTest::Window() {
    if (!window_) {
        window_ = makeWindow_(App(), mapping_);
        window_->SetFileChooser(&chooser_);
        window_->show();
    }
    return *window_;
}

void WindowTest::Seed(const QString& section, const QString& name, const QString& value) {
    QSettings settings(settingsFile_, QSettings::IniFormat);
    settings.setValue(section + '/' + name, value);
}

QString WindowTest::Stored(const QString& section, const QString& name) const {
    QSettings settings(settingsFile_, QSettings::IniFormat);
    return settings.value(section + '/' + name, QStringLiteral("<none>")).toString();
}

void WindowTest::Click(int id) {
    auto* button = Control<QAbstractButton>(id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    button->click();
}

void WindowTest::TickWithDevice(int port) {
    devices_.push_back(std::make_unique<PtyDevice>());
    ASSERT_TRUE(devices_.back()->Valid());
    mapping_.Set(port, devices_.back()->Path());
    Click(ids::kPortBox.at(static_cast<std::size_t>(port - 1)));
}

QString WindowTest::RomFileWith(const QString& name, const std::string& content) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteFile(path, content));
    return path;
}

}  // namespace vantrel::testing
