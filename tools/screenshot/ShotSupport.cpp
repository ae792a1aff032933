#include "tools/screenshot/ShotSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <cstdio>

#include "image/SRecordWriter.h"

namespace vantrel::shot {

bool ProcessUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

bool WriteRom(const QString& path, std::span<const std::uint8_t> bytes) {
    const std::string text = FormatS3Records(bytes, 0x00C10000);
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size()) &&
           file.commit();
}

bool SavePng(const QPixmap& picture, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!picture.save(path, "PNG")) {
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace vantrel::shot
