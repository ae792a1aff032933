#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/LineSettings.h"
#include "engine/LoaderState.h"
#include "serial/CMSComm.h"
#include "serial/PortMapping.h"

namespace vantrel {

// A ticked port that could not be opened, and why: the serial layer's own text.
struct PortFailure {
    int port = 0;
    QString cause;
};

// The tick boxes of the sixteen ports, as the serial link sees them.
class PortBoxes {
  public:
    virtual ~PortBoxes() = default;
    virtual bool IsTicked(int port) const = 0;
    virtual void SetTicked(int port, bool ticked) = 0;
};

// The sixteen ports and the operations on all selected ones. UI thread only: the worker reaches
// it through a host that carries each call over.
class SerialLink : public QObject {
    Q_OBJECT
  public:
    // Shown with an OK button and the exclamation icon.
    using WarningFn = std::function<void(const QString& text)>;
    // Asked before each preparation of port N; false makes that preparation fail.
    using PrepareHook = std::function<bool(int port)>;

    static constexpr int kControlIdBase = 2000;

    SerialLink(LoaderState& state, const PortMapping& mapping, PortBoxes& boxes,
               WarningFn showWarning, QObject* parent = nullptr);
    ~SerialLink() override;

    void SetPrepareHook(PrepareHook hook) { prepareHook_ = std::move(hook); }

    // A click on port N's box: prepare, configure and open it, or close it. A failed
    // preparation or opening is shown as a warning; a failure of the configuration in between
    // is not caught here and leaves as SerialError.
    void PortBoxChanged(int port);
    // At Start: every ticked port is selected and opened, every other one deselected. True when
    // a box was ticked. A port that cannot be opened is told in failures; the later ports are
    // then left as they were, unless goOn, which deselects it and goes on with them.
    bool OpenTickedPorts(std::vector<PortFailure>& failures, bool goOn = false);
    // As above; the first port that cannot be opened leaves as SerialError.
    bool OpenTickedPorts();
    // Closes every selected port that is open; flags are left as they are.
    void CloseSelectedPorts();
    void ClosePort(int port);
    // Worker operations, carried out here on the UI thread.
    void WriteToSelected(std::span<const std::uint8_t> bytes);
    void WriteToSelected(const QByteArray& bytes);
    // Applies the settings to one selected port and opens it if it is closed; a failure is
    // swallowed (the unit then fails its next wait).
    void ApplyLineSettings(int port, const LineSettings& settings);
    // Counts what has reached every active port by now, also bytes whose arrival the event
    // loop has not handled yet.
    void TakeInArrived();

    LoaderState& State() { return state_; }
    CMSComm& Port(int port);
    bool IsOpen(int port) const;
    bool IsSelected(int port) const;

  signals:
    // An ACK read from the port moved its unit on.
    void AcknowledgementCounted(int port);

  private:
    bool Prepare(int port);
    void PortEvent(int port);
    void ReadReceived(int port);

    LoaderState& state_;
    const PortMapping& mapping_;
    PortBoxes& boxes_;
    WarningFn showWarning_;
    PrepareHook prepareHook_;
    std::array<std::unique_ptr<CMSComm>, kPortCount> ports_;
};

}  // namespace vantrel
