#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <stdexcept>

#include "engine/LineSettings.h"

class QSerialPort;

namespace vantrel {

class PortMapping;

// A failure of the serial layer, carrying the layer's own text.
class SerialError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One serial port as the loader drives it: port number, line settings text, receive threshold,
// binary input, input length, open/close, output, input and a notification when bytes arrive. Lives
// on the UI thread and is only ever called there.
//
// The wrapper starts empty; Create puts a port object inside it. Until then, and after Destroy,
// every operation does nothing and every query gives its default.
class CMSComm : public QObject {
    Q_OBJECT
  public:
    // The event code GetCommEvent reports: bytes arrived.
    static constexpr short kReceiveEvent = 2;

    static constexpr long kInputModeBinary = 1;
    // Bytes left unread between runs are kept up to this many, so an idle line that chatters
    // cannot grow the loader without end. A run reads at every arrival and never comes near it.
    static constexpr qint64 kReadBufferLimit = 64 * 1024;

    explicit CMSComm(const PortMapping& mapping, QObject* parent = nullptr);
    ~CMSComm() override;

    // Creates a fresh port object with the given control id (2000 + N), replacing (and closing)
    // any earlier one; the properties go back to their defaults. False when that fails.
    bool Create(int controlId);
    // Drops the port object, closing it.
    void Destroy();
    bool IsCreated() const;
    int ControlId() const;

    // The port opened next is the device the mapping gives for this number.
    void SetCommPort(short port);
    short GetCommPort() const;
    // "9600,N,8,1" and the like, as text or as a typed value; applied at once, also to an open
    // port, which stays open. Throws SerialError for settings not of that form (nothing
    // changes), and with the layer's text when the device refuses a part of it (the other parts
    // still apply).
    void SetSettings(const QString& settings);
    void ApplyLineSettings(const LineSettings& settings);
    QString GetSettings() const;
    // A receive event as soon as this many bytes are pending; 0 turns receive events off.
    void SetRThreshold(short threshold);
    short GetRThreshold() const;
    // Binary input, the only mode there is: bytes come back with their values unchanged.
    // Throws SerialError for any other mode.
    void SetInputMode(long mode);
    // Bytes returned by one read; 0 returns every pending byte.
    void SetInputLen(short length);
    short GetInputLen() const;
    // Opens the device the port number maps to, or closes it. Opening an open port and closing
    // a closed one do nothing. Throws SerialError with the layer's text when opening fails.
    void SetPortOpen(bool open);
    bool GetPortOpen() const;
    // Hands every byte to the line, in order; nothing happens on a closed port.
    void SetOutput(const QByteArray& bytes);
    // 0 is the only value taken: output still buffered is pushed to the line, none is dropped.
    // Throws SerialError for any other value.
    void SetOutBufferCount(short count);
    // Bytes received and not yet read; never more than kReadBufferLimit.
    int GetInBufferCount() const;
    // The pending bytes (at most the input length), which are then no longer pending; empty
    // when nothing is pending.
    QByteArray GetInput();
    // The code of the event last notified.
    short GetCommEvent() const;
    // Reads what the device holds that the event loop has not handled yet, notifying of it as
    // an arrival does; nothing on a closed port.
    void TakeInArrived();

    // The device path the port number maps to.
    QString DevicePath() const;
    // Why the open line was lost since it was last opened ("device gone: /dev/ttyUSB0
    // disappeared", "line lost: ..."); empty while it was not.
    const QString& LostCause() const { return lostCause_; }

  signals:
    // A line event; GetCommEvent says which. Raised on the UI thread.
    void OnComm();

  private:
    void Raise(short event);
    void BytesArrived();
    void LineLost(unsigned generation);
    void NoteLostLine();

    const PortMapping& mapping_;
    std::unique_ptr<QSerialPort> port_;
    // Tells a queued report of a lost line from an earlier port object apart.
    unsigned generation_ = 0;
    int controlId_ = 0;
    short commPort_ = 1;
    QString settings_;
    short rThreshold_ = 0;
    short inputLen_ = 0;
    short lastEvent_ = 0;
    QString lostCause_;  // kept after the close, for the run's report
};

}  // namespace vantrel
