#include "tools/screenshot/PortMappingShot.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

#include "serial/PortMapping.h"
#include "settings/ProgramIdentity.h"
#include "settings/SettingsStore.h"
#include "tools/screenshot/ShotSupport.h"
#include "ui/PortMappingDialog.h"

namespace {

using vantrel::DetectedPort;

DetectedPort Adapter(const char* device, const char* link, const char* description,
                     const char* manufacturer, const char* serial, unsigned vid, unsigned pid) {
    DetectedPort port;
    port.device = QString::fromLatin1(device);
    port.stableLink = QString::fromLatin1(link);
    port.description = QString::fromLatin1(description);
    port.manufacturer = QString::fromLatin1(manufacturer);
    port.serialNumber = QString::fromLatin1(serial);
    port.vendorId = vid;
    port.productId = pid;
    return port;
}

// What a bench with three USB adapters and one built-in port reports.
std::vector<DetectedPort> ExamplePorts() {
    DetectedPort builtIn;
    builtIn.device = QStringLiteral("/dev/ttyS0");
    return {
        builtIn,
        Adapter("/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0",
                "FT232R USB UART", "FTDI", "A10K5XYZ", 0x0403, 0x6001),
        Adapter("/dev/ttyUSB1",
                "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-"
                "if00-port0",
                "CP2102 USB to UART Bridge Controller", "Silicon Labs", "0001", 0x10c4, 0xea60),
        Adapter("/dev/ttyACM0", "/dev/serial/by-id/usb-Prolific_PL2303GT_B2C31F0C-if00",
                "PL2303GT USB Serial", "Prolific", "B2C31F0C", 0x067b, 0x23a3),
    };
}

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
}

}  // namespace

int ShootPortMapping(const QString& out) {
    using namespace vantrel;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vantrel-XXXXXX"));
    if (!dir.isValid()) {
        return 1;
    }
    SettingsStore store(QString::fromLatin1(kProgramName),
                        dir.filePath(QStringLiteral("settings.ini")));
    const std::vector<DetectedPort> ports = ExamplePorts();
    for (int port = 1; port <= 2; ++port) {
        store.WriteString(QString::fromLatin1(SettingsPortMapping::kSection),
                          SettingsPortMapping::ValueName(port), ports.at(port).stableLink);
    }

    CPortMappingDialog dialog(store, ports);
    dialog.show();
    Settle();
    QComboBox* open = dialog.Row(3);
    open->showPopup();
    Settle();

    // The list is a window of its own, often wider than the dialog: drawn below its row, as on
    // a screen wide enough for it.
    const QPixmap form = dialog.grab();
    QWidget* popup = open->view()->window();
    const QPixmap list = popup != &dialog ? popup->grab() : QPixmap();
    const QPoint at = open->mapTo(&dialog, QPoint(0, open->height()));
    QPixmap picture(std::max(form.width(), at.x() + list.width()),
                    std::max(form.height(), at.y() + list.height()));
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, form);
    painter.drawPixmap(at, list);
    painter.end();
    open->hidePopup();
    return shot::SavePng(picture, out) ? 0 : 1;
}
