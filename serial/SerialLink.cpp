#include "serial/SerialLink.h"

#include <utility>

#include "engine/LineSettings.h"

namespace vantrel {
namespace {

const QString kCreateFailedMessage =
    QStringLiteral("Failed to create OLE Communications Control\n");
// The opening failure's text is cut to 4195 characters with its terminating zero.
constexpr qsizetype kErrorTextLimit = 4194;

}  // namespace

SerialLink::SerialLink(LoaderState& state, const PortMapping& mapping, PortBoxes& boxes,
                       WarningFn showWarning, QObject* parent)
    : QObject(parent),
      state_(state),
      mapping_(mapping),
      boxes_(boxes),
      showWarning_(std::move(showWarning)) {
    for (int port = 1; port <= kPortCount; ++port) {
        auto& comm = ports_[static_cast<std::size_t>(port - 1)];
        comm = std::make_unique<CMSComm>(mapping_);
        connect(comm.get(), &CMSComm::OnComm, this, [this, port] { PortEvent(port); });
    }
}

SerialLink::~SerialLink() = default;

void SerialLink::PortBoxChanged(int port) {
    PortSlot& slot = state_.Port(port);
    CMSComm& comm = Port(port);
    if (!boxes_.IsTicked(port)) {
        comm.SetPortOpen(false);
        return;
    }
    if (!slot.controlCreated.load()) {
        const bool created = Prepare(port);
        if (!created) {
            showWarning_(kCreateFailedMessage);
        }
        slot.controlCreated.store(created);
        slot.selected.store(created);
    }
    // Without a port object these do nothing.
    comm.ApplyLineSettings(kMonitorLine);
    comm.SetRThreshold(1);
    comm.SetCommPort(static_cast<short>(port));
    comm.SetInputMode(CMSComm::kInputModeBinary);
    comm.SetInputLen(0);
    try {
        comm.SetPortOpen(true);
    } catch (const SerialError& error) {
        const QString text = QString::fromStdString(error.what()).left(kErrorTextLimit);
        showWarning_(QStringLiteral("Failed to open Serial Port #%1: %2").arg(port).arg(text));
        boxes_.SetTicked(port, false);
        // The next tick prepares the port afresh.
        slot.controlCreated.store(false);
    }
}

bool SerialLink::OpenTickedPorts(std::vector<PortFailure>& failures, bool goOn) {
    bool anyTicked = false;
    for (int port = 1; port <= kPortCount; ++port) {
        PortSlot& slot = state_.Port(port);
        if (!boxes_.IsTicked(port)) {
            slot.selected.store(false);
            continue;
        }
        slot.selected.store(true);
        anyTicked = true;
        try {
            Port(port).SetPortOpen(true);
        } catch (const SerialError& error) {
            failures.push_back({port, QString::fromUtf8(error.what())});
            if (!goOn) {
                return anyTicked;
            }
            slot.selected.store(false);
        }
    }
    return anyTicked;
}

bool SerialLink::OpenTickedPorts() {
    std::vector<PortFailure> failures;
    const bool anyTicked = OpenTickedPorts(failures);
    if (!failures.empty()) {
        throw SerialError(failures.front().cause.toStdString());
    }
    return anyTicked;
}

void SerialLink::CloseSelectedPorts() {
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsSelected(port) && IsOpen(port)) {
            Port(port).SetPortOpen(false);
        }
    }
}

void SerialLink::ClosePort(int port) {
    if (IsOpen(port)) {
        Port(port).SetPortOpen(false);
    }
}

void SerialLink::WriteToSelected(std::span<const std::uint8_t> bytes) {
    WriteToSelected(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qsizetype>(bytes.size())));
}

void SerialLink::WriteToSelected(const QByteArray& bytes) {
    for (int port = 1; port <= kPortCount; ++port) {
        if (!IsSelected(port)) {
            continue;
        }
        CMSComm& comm = Port(port);
        comm.SetOutput(bytes);
        comm.SetOutBufferCount(0);
    }
}

void SerialLink::ApplyLineSettings(int port, const LineSettings& settings) {
    CMSComm& comm = Port(port);
    // Nobody is there to hear of a failure: the unit just misses what follows and fails its
    // next wait.
    try {
        comm.ApplyLineSettings(settings);
    } catch (const SerialError&) {
    }
    try {
        comm.SetPortOpen(true);
    } catch (const SerialError&) {
    }
}

void SerialLink::TakeInArrived() {
    for (int port = 1; port <= kPortCount; ++port) {
        if (!state_.IsActive(port)) {
            continue;
        }
        Port(port).TakeInArrived();
        // With bytes read in earlier and left pending.
        ReadReceived(port);
    }
}

CMSComm& SerialLink::Port(int port) {
    return *ports_[PortIndex(port)];
}

bool SerialLink::IsOpen(int port) const {
    return ports_[PortIndex(port)]->GetPortOpen();
}

bool SerialLink::IsSelected(int port) const {
    return state_.Port(port).selected.load();
}

bool SerialLink::Prepare(int port) {
    CMSComm& comm = Port(port);
    if ((!prepareHook_ || prepareHook_(port)) && comm.Create(kControlIdBase + port)) {
        return true;
    }
    comm.Destroy();
    return false;
}

void SerialLink::PortEvent(int port) {
    if (Port(port).GetCommEvent() == CMSComm::kReceiveEvent) {
        ReadReceived(port);
    }
}

void SerialLink::ReadReceived(int port) {
    // Bytes stay pending until a run takes this port; they are read then, with newer ones.
    if (!state_.IsActive(port)) {
        return;
    }
    const QByteArray input = Port(port).GetInput();
    if (input.isEmpty()) {
        return;
    }
    const int counted = state_.CountAcknowledgements(
        port, std::span(reinterpret_cast<const std::uint8_t*>(input.constData()),
                        static_cast<std::size_t>(input.size())));
    if (counted > 0) {
        emit AcknowledgementCounted(port);
    }
}

}  // namespace vantrel
