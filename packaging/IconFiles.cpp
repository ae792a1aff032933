// vantrel-icons DIR SIZE...: writes the window's icon as DIR/SIZExSIZE/apps/vantrel.png, the
// desktop's hicolor layout. Runs at build time, so it needs no display.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/ProgramIcon.h"

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s DIR SIZE...\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool isNumber = false;
        const int size = QByteArray(argv[i]).toInt(&isNumber);
        if (!isNumber || size < 1 || size > 1024) {
            std::fprintf(stderr, "%s: not an icon size: %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        const QString path = folder + QStringLiteral("/vantrel.png");
        if (!QDir().mkpath(folder) || !vantrel::ProgramIconPixmap(size).save(path, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
            return 1;
        }
    }
    return 0;
}
