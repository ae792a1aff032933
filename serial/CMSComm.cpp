#include "serial/CMSComm.h"

#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <termios.h>
#endif

#include "engine/LineSettings.h"
#include "serial/DeviceAccess.h"
#include "serial/PortMapping.h"

namespace vantrel {
namespace {

const QString kDefaultSettings = QStringLiteral("9600,N,8,1");
const QString kInvalidValue = QStringLiteral("Invalid property value");

QSerialPort::Parity ParityOf(char letter) {
    switch (letter) {
        case 'O':
            return QSerialPort::OddParity;
        case 'E':
            return QSerialPort::EvenParity;
        case 'M':
            return QSerialPort::MarkParity;
        case 'S':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

// Turning parity off through the layer leaves the odd-parity flag of the line set; whatever reads
// the flags (a pseudo-terminal's other end does) would take the line for one with odd parity.
void ClearOddParityFlag(QSerialPort& port) {
#ifdef Q_OS_UNIX
    termios line{};
    if (port.isOpen() && tcgetattr(port.handle(), &line) == 0 && (line.c_cflag & PARODD) != 0) {
        line.c_cflag &= ~static_cast<tcflag_t>(PARODD);
        tcsetattr(port.handle(), TCSANOW, &line);
    }
#else
    Q_UNUSED(port);
#endif
}

// The cause and the device: the layer's own text names neither well enough to act on.
QString OpenFailureText(const QSerialPort& port, const QString& device) {
    if (port.error() != QSerialPort::PermissionError) {
        return QStringLiteral("%1: %2").arg(port.errorString(), device);
    }
    if (const auto access = CheckDeviceAccess(device)) {
        return AccessDeniedText(*access);
    }
    // Refused although this user may use it: another program holds the device's lock, or has
    // it open for itself alone.
    return QStringLiteral("%1 is in use by another program").arg(device);
}

}  // namespace

CMSComm::CMSComm(const PortMapping& mapping, QObject* parent)
    : QObject(parent), mapping_(mapping), settings_(kDefaultSettings) {}

CMSComm::~CMSComm() {
    Destroy();
}

bool CMSComm::Create(int controlId) {
    Destroy();
    auto port = std::make_unique<QSerialPort>();
    const unsigned generation = ++generation_;
    connect(port.get(), &QSerialPort::readyRead, this, &CMSComm::BytesArrived);
    // Direct: the cause is taken while the port still says what went wrong.
    connect(port.get(), &QSerialPort::errorOccurred, this,
            [this, generation](QSerialPort::SerialPortError error) {
                if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) &&
                    generation == generation_ && GetPortOpen() && lostCause_.isEmpty()) {
                    NoteLostLine();
                }
            });
    // Queued: the port must not be closed from inside its own read handler.
    connect(
        port.get(), &QSerialPort::errorOccurred, this,
        [this, generation](QSerialPort::SerialPortError error) {
            // A read or resource error on an open port means the other end is gone; left open,
            // the port would report it again and again.
            if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
                LineLost(generation);
            }
        },
        Qt::QueuedConnection);
    port->setReadBufferSize(kReadBufferLimit);
    port_ = std::move(port);
    controlId_ = controlId;
    commPort_ = 1;
    rThreshold_ = 0;
    inputLen_ = 0;
    lastEvent_ = 0;
    SetSettings(kDefaultSettings);
    return true;
}

void CMSComm::Destroy() {
    if (port_) {
        port_->disconnect(this);
        if (port_->isOpen()) {
            port_->close();
        }
        port_.reset();
    }
    controlId_ = 0;
}

bool CMSComm::IsCreated() const {
    return port_ != nullptr;
}

int CMSComm::ControlId() const {
    return controlId_;
}

void CMSComm::SetCommPort(short port) {
    if (!port_) {
        return;
    }
    if (port < 1) {
        throw SerialError("Invalid port number");
    }
    commPort_ = port;
}

short CMSComm::GetCommPort() const {
    return commPort_;
}

void CMSComm::SetSettings(const QString& settings) {
    if (!port_) {
        return;
    }
    const auto parsed = ParseLineSettings(settings.toStdString());
    if (!parsed) {
        throw SerialError(kInvalidValue.toStdString());
    }
    ApplyLineSettings(*parsed);
}

void CMSComm::ApplyLineSettings(const LineSettings& settings) {
    if (!port_) {
        return;
    }
    if (!IsValidLineSettings(settings)) {
        throw SerialError(kInvalidValue.toStdString());
    }
    settings_ = QString::fromStdString(FormatLineSettings(settings));
    // Every part is tried, so a device that refuses one (a pseudo-terminal keeps no parity or
    // data bits) still gets the others.
    bool applied = port_->setBaudRate(settings.baud);
    applied = port_->setParity(ParityOf(settings.parity)) && applied;
    applied = port_->setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) && applied;
    applied =
        port_->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        applied;
    if (settings.parity == 'N') {
        ClearOddParityFlag(*port_);
    }
    if (!applied) {
        const QString text = port_->errorString();
        port_->clearError();
        throw SerialError(text.toStdString());
    }
}

QString CMSComm::GetSettings() const {
    return settings_;
}

void CMSComm::SetRThreshold(short threshold) {
    if (port_) {
        rThreshold_ = threshold;
    }
}

short CMSComm::GetRThreshold() const {
    return rThreshold_;
}

void CMSComm::SetInputMode(long mode) {
    // Bytes are only ever read as they are.
    if (port_ && mode != kInputModeBinary) {
        throw SerialError(kInvalidValue.toStdString());
    }
}

void CMSComm::SetInputLen(short length) {
    if (port_) {
        inputLen_ = length;
    }
}

short CMSComm::GetInputLen() const {
    return inputLen_;
}

void CMSComm::SetPortOpen(bool open) {
    if (!port_ || open == port_->isOpen()) {
        return;
    }
    if (!open) {
        port_->close();
        return;
    }
    const QString device = DevicePath();
    port_->setPortName(device);
    lostCause_.clear();
    if (!port_->open(QIODevice::ReadWrite)) {
        const QString text = OpenFailureText(*port_, device);
        port_->clearError();
        throw SerialError(text.toStdString());
    }
    // The device may still carry the flags of its last user.
    if (port_->parity() == QSerialPort::NoParity) {
        ClearOddParityFlag(*port_);
    }
}

bool CMSComm::GetPortOpen() const {
    return port_ && port_->isOpen();
}

void CMSComm::SetOutput(const QByteArray& bytes) {
    if (GetPortOpen() && !bytes.isEmpty()) {
        port_->write(bytes);
    }
}

void CMSComm::SetOutBufferCount(short count) {
    if (count != 0) {
        throw SerialError(kInvalidValue.toStdString());
    }
    if (GetPortOpen()) {
        port_->flush();
    }
}

int CMSComm::GetInBufferCount() const {
    if (!GetPortOpen()) {
        return 0;
    }
    return static_cast<int>(port_->bytesAvailable());
}

QByteArray CMSComm::GetInput() {
    if (!GetPortOpen()) {
        return {};
    }
    return inputLen_ > 0 ? port_->read(inputLen_) : port_->readAll();
}

short CMSComm::GetCommEvent() const {
    return lastEvent_;
}

void CMSComm::TakeInArrived() {
    if (!GetPortOpen()) {
        return;
    }
    // A wait of zero only reads what is there: finding nothing is no fault of the line.
    if (!port_->waitForReadyRead(0) && port_->error() == QSerialPort::TimeoutError) {
        port_->clearError();
    }
}

QString CMSComm::DevicePath() const {
    return mapping_.DevicePath(commPort_);
}

void CMSComm::Raise(short event) {
    lastEvent_ = event;
    emit OnComm();
}

void CMSComm::BytesArrived() {
    // Bytes left unread stay pending, so every arrival notifies again while any are.
    if (rThreshold_ > 0 && GetInBufferCount() >= rThreshold_) {
        Raise(kReceiveEvent);
    }
}

void CMSComm::LineLost(unsigned generation) {
    if (generation != generation_ || !GetPortOpen()) {
        return;
    }
    // Nobody is told now: the unit behind it fails its next wait, which reports it.
    port_->close();
}

void CMSComm::NoteLostLine() {
    // Kept for those who report more than the unit's stage.
    const QString device = DevicePath();
    lostCause_ = QFileInfo::exists(device)
                     ? QStringLiteral("line lost: %1: %2").arg(port_->errorString(), device)
                     : QStringLiteral("device gone: %1 disappeared").arg(device);
}

}  // namespace vantrel
