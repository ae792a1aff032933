#include "serial/CMSComm.h"

#include <gtest/gtest.h>

#include <QSerialPort>
#include <numeric>
#include <vector>

#include "engine/MonitorPackets.h"
#include "serial/PortMapping.h"
#include "tests/serial/PtySupport.h"

namespace vantrel {
namespace {

using testing::BarePty;
using testing::MissingDevice;
using testing::ProcessEventsUntil;
using testing::ProcessPendingEvents;

std::vector<std::uint8_t> Bytes(const QByteArray& array) {
    return {array.begin(), array.end()};
}

QByteArray Array(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

class CMSCommTest : public ::testing::Test {
  protected:
    // Port 3 of the mapping is the pty; a created control is set to port 3.
    void SetUp() override {
        mapping_.Set(3, pty_.Path());
        QObject::connect(&comm_, &CMSComm::OnComm,
                         [this] { events_.push_back(comm_.GetCommEvent()); });
    }
    void CreateOnPort3() {
        ASSERT_TRUE(comm_.Create(2003));
        comm_.SetCommPort(3);
    }
    void OpenOnPort3(short threshold = 1) {
        CreateOnPort3();
        comm_.SetRThreshold(threshold);
        comm_.SetPortOpen(true);
        ASSERT_TRUE(comm_.GetPortOpen());
    }
    void WaitForPending(int count) {
        ASSERT_TRUE(ProcessEventsUntil([&] { return comm_.GetInBufferCount() >= count; }));
        EXPECT_EQ(comm_.GetInBufferCount(), count);
    }
    int ReceiveEvents() const {
        return static_cast<int>(std::count(events_.begin(), events_.end(), CMSComm::kReceiveEvent));
    }

    BarePty pty_;
    TablePortMapping mapping_;
    CMSComm comm_{mapping_};
    std::vector<short> events_;
};

TEST_F(CMSCommTest, EmptyWrapperDoesNothing) {
    EXPECT_FALSE(comm_.IsCreated());
    EXPECT_EQ(comm_.ControlId(), 0);
    comm_.SetCommPort(3);
    EXPECT_NO_THROW(comm_.SetSettings("not settings"));
    EXPECT_NO_THROW(comm_.SetPortOpen(true));
    EXPECT_FALSE(comm_.GetPortOpen());
    comm_.SetOutput(QByteArray("abc"));
    comm_.SetOutBufferCount(0);
    EXPECT_TRUE(comm_.GetInput().isEmpty());
    EXPECT_EQ(comm_.GetRThreshold(), 0);
    ProcessPendingEvents();
    EXPECT_TRUE(pty_.Drain().empty());
}

TEST_F(CMSCommTest, CreateGivesIdAndDefaultsAndStartsAfreshEachTime) {
    ASSERT_TRUE(comm_.Create(2005));
    EXPECT_TRUE(comm_.IsCreated());
    EXPECT_EQ(comm_.ControlId(), 2005);
    EXPECT_EQ(comm_.GetSettings(), "9600,N,8,1");
    EXPECT_EQ(comm_.GetCommPort(), 1);
    EXPECT_EQ(comm_.GetRThreshold(), 0);
    EXPECT_EQ(comm_.GetInputLen(), 0);
    EXPECT_THROW(comm_.SetInputMode(0), SerialError) << "binary is the only input mode";

    comm_.SetSettings("57600,E,7,2");
    comm_.SetRThreshold(1);
    comm_.SetCommPort(3);
    comm_.SetInputMode(CMSComm::kInputModeBinary);
    comm_.SetInputLen(4);
    comm_.SetPortOpen(true);
    ASSERT_TRUE(comm_.GetPortOpen());

    ASSERT_TRUE(comm_.Create(2003));
    EXPECT_FALSE(comm_.GetPortOpen());
    EXPECT_EQ(comm_.ControlId(), 2003);
    EXPECT_EQ(comm_.GetSettings(), "9600,N,8,1");
    EXPECT_EQ(comm_.GetCommPort(), 1);
    EXPECT_EQ(comm_.GetRThreshold(), 0);
    EXPECT_EQ(comm_.GetInputLen(), 0);

    comm_.Destroy();
    EXPECT_FALSE(comm_.IsCreated());
}

TEST_F(CMSCommTest, SettingsReachTheLineOnAClosedAndOnAnOpenPort) {
    CreateOnPort3();
    comm_.SetSettings("9600,O,8,1");
    comm_.SetPortOpen(true);
    ASSERT_TRUE(comm_.GetPortOpen());
    termios line = pty_.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_NE(line.c_cflag & PARODD, 0u);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);

    comm_.SetSettings("57600,N,8,1");
    EXPECT_TRUE(comm_.GetPortOpen());
    EXPECT_EQ(comm_.GetSettings(), "57600,N,8,1");
    line = pty_.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
    // No parity means no odd-parity flag either: the unit's end reads the flags.
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD), 0u);

    comm_.SetSettings("9600,N,8,2");
    EXPECT_TRUE(comm_.GetPortOpen());
    line = pty_.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
}

TEST_F(CMSCommTest, OpeningWithoutParityClearsAnOddFlagLeftOnTheDevice) {
    termios left = pty_.Settings();
    left.c_cflag |= PARODD;
    pty_.SetSettings(left);
    ASSERT_NE(pty_.Settings().c_cflag & PARODD, 0u);
    CreateOnPort3();
    comm_.SetPortOpen(true);
    const termios line = pty_.Settings();
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD), 0u);
}

TEST_F(CMSCommTest, MalformedSettingsAreRefusedAndChangeNothing) {
    CreateOnPort3();
    comm_.SetSettings("57600,N,8,1");
    for (const char* text : {"", "9600", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "9600, N,8,1"}) {
        EXPECT_THROW(comm_.SetSettings(text), SerialError) << text;
        EXPECT_EQ(comm_.GetSettings(), "57600,N,8,1") << text;
    }
    for (const LineSettings& typed :
         {LineSettings{0, 'N', 8, 1}, LineSettings{9600, 'n', 8, 1}, LineSettings{9600, 'N', 4, 1},
          LineSettings{9600, 'N', 8, 0}}) {
        EXPECT_THROW(comm_.ApplyLineSettings(typed), SerialError) << FormatLineSettings(typed);
        EXPECT_EQ(comm_.GetSettings(), "57600,N,8,1") << FormatLineSettings(typed);
    }
    EXPECT_THROW(comm_.SetOutBufferCount(1), SerialError);
    EXPECT_THROW(comm_.SetCommPort(0), SerialError);
}

TEST_F(CMSCommTest, OpensTheDeviceItsPortNumberMapsTo) {
    CreateOnPort3();
    EXPECT_EQ(comm_.DevicePath(), pty_.Path());
    comm_.SetCommPort(4);
    EXPECT_EQ(comm_.DevicePath(), DefaultDevicePath(4));
    mapping_.Set(4, MissingDevice());
    EXPECT_THROW(comm_.SetPortOpen(true), SerialError);
    comm_.SetCommPort(3);
    comm_.SetPortOpen(true);
    EXPECT_TRUE(comm_.GetPortOpen());
    // Opening an open port and closing a closed one change nothing.
    EXPECT_NO_THROW(comm_.SetPortOpen(true));
    EXPECT_TRUE(comm_.GetPortOpen());
    comm_.SetPortOpen(false);
    EXPECT_FALSE(comm_.GetPortOpen());
    EXPECT_NO_THROW(comm_.SetPortOpen(false));
}

// The text of the failure to open the port, or "(opened)".
QString OpeningFailure(CMSComm& comm) {
    try {
        comm.SetPortOpen(true);
        return QStringLiteral("(opened)");
    } catch (const SerialError& error) {
        return QString::fromStdString(error.what());
    }
}

TEST_F(CMSCommTest, FailedOpeningNamesTheCauseAndTheDevice) {
    ASSERT_TRUE(comm_.Create(2004));
    comm_.SetCommPort(4);
    mapping_.Set(4, MissingDevice());
    EXPECT_EQ(OpeningFailure(comm_), "No such file or directory: " + MissingDevice());
    EXPECT_FALSE(comm_.GetPortOpen());
}

TEST_F(CMSCommTest, DeviceInUseCannotBeOpenedTwice) {
    // Held by another program: its port object locks the device as this one would.
    QSerialPort holder;
    holder.setPortName(pty_.Path());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    CreateOnPort3();
    EXPECT_EQ(OpeningFailure(comm_), pty_.Path() + " is in use by another program");
    EXPECT_FALSE(comm_.GetPortOpen());
    holder.close();
    EXPECT_EQ(OpeningFailure(comm_), "(opened)");

    CMSComm other(mapping_);
    ASSERT_TRUE(other.Create(2013));
    other.SetCommPort(3);
    EXPECT_EQ(OpeningFailure(other), pty_.Path() + " is in use by another program");
    comm_.SetPortOpen(false);
    EXPECT_EQ(OpeningFailure(other), "(opened)");
}

TEST_F(CMSCommTest, OutputReachesTheLineWholeInOrderAndOnce) {
    OpenOnPort3();
    std::vector<std::uint8_t> packet(234);
    std::iota(packet.begin(), packet.end(), std::uint8_t{0});
    comm_.SetOutput(Array(packet));
    comm_.SetOutBufferCount(0);
    // Reset pushed everything out, nothing was dropped.
    EXPECT_EQ(pty_.Receive(packet.size()), packet);
    ProcessPendingEvents();
    EXPECT_TRUE(pty_.Drain().empty());

    comm_.SetOutput(QByteArray());
    comm_.SetPortOpen(false);
    comm_.SetOutput(QByteArray("closed"));
    comm_.SetOutBufferCount(0);
    ProcessPendingEvents();
    EXPECT_TRUE(pty_.Drain().empty());
}

TEST_F(CMSCommTest, PendingBytesNotifyOnEveryArrivalAndAreReadInOrder) {
    OpenOnPort3();
    pty_.Send({0x11, 0x22});
    WaitForPending(2);
    const int first = ReceiveEvents();
    EXPECT_GE(first, 1);
    pty_.Send({0x33});
    WaitForPending(3);
    EXPECT_GT(ReceiveEvents(), first);
    EXPECT_EQ(comm_.GetCommEvent(), CMSComm::kReceiveEvent);
    EXPECT_EQ(Bytes(comm_.GetInput()), (std::vector<std::uint8_t>{0x11, 0x22, 0x33}));
    EXPECT_EQ(comm_.GetInBufferCount(), 0);
    EXPECT_TRUE(comm_.GetInput().isEmpty());
}

TEST_F(CMSCommTest, ReceiveThresholdDecidesWhenToNotify) {
    OpenOnPort3(0);
    pty_.Send({0x01, 0x02});
    WaitForPending(2);
    ProcessPendingEvents();
    EXPECT_EQ(ReceiveEvents(), 0);

    comm_.SetRThreshold(4);
    pty_.Send({0x03});
    WaitForPending(3);
    ProcessPendingEvents();
    EXPECT_EQ(ReceiveEvents(), 0);
    pty_.Send({0x04});
    WaitForPending(4);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ReceiveEvents() == 1; }));
}

TEST_F(CMSCommTest, InputLengthLimitsOneRead) {
    OpenOnPort3();
    comm_.SetInputLen(2);
    pty_.Send({1, 2, 3, 4, 5});
    WaitForPending(5);
    EXPECT_EQ(Bytes(comm_.GetInput()), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(Bytes(comm_.GetInput()), (std::vector<std::uint8_t>{3, 4}));
    EXPECT_EQ(Bytes(comm_.GetInput()), (std::vector<std::uint8_t>{5}));
    EXPECT_TRUE(comm_.GetInput().isEmpty());
}

TEST_F(CMSCommTest, HangupClosesThePortQuietly) {
    OpenOnPort3();
    pty_.HangUp();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !comm_.GetPortOpen(); }));
    // The line is gone: writing does nothing, and nothing keeps reporting.
    comm_.SetOutput(QByteArray("gone"));
    comm_.SetOutBufferCount(0);
    ProcessPendingEvents();
    EXPECT_TRUE(events_.empty());
}

TEST_F(CMSCommTest, BytesLeftUnreadAreKeptUpToABoundAndTheLineFlowsOnceRead) {
    OpenOnPort3();
    const std::vector<std::uint8_t> chatter(4096, 0x55);
    std::size_t offered = 0;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        const std::size_t taken = pty_.Offer(chatter);
        offered += taken;
        return taken < chatter.size() && comm_.GetInBufferCount() >= CMSComm::kReadBufferLimit;
    }));
    EXPECT_EQ(comm_.GetInBufferCount(), CMSComm::kReadBufferLimit);
    EXPECT_GT(offered, static_cast<std::size_t>(CMSComm::kReadBufferLimit)) << "the line backed up";

    // Once a run reads, what waited in the line and an ACK after it all arrive.
    bool ackOffered = false;
    bool ackRead = false;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        ackOffered = ackOffered || pty_.Offer({kAck}) == 1;
        ackRead = comm_.GetInput().contains(static_cast<char>(kAck)) || ackRead;
        return ackRead;
    }));
}

}  // namespace
}  // namespace vantrel
