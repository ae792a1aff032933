#include "cli/InterruptSource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vantrel::cli {
namespace {

class InterruptSourceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            static QCoreApplication app(argc, argv);
        }
    }

    // Runs the event loop until `count` calls came, or the time is up.
    bool WaitForCalls(int count, int milliseconds = 10000) const {
        const QDeadlineTimer deadline(milliseconds);
        while (calls_ < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return calls_ == count;
    }

    int calls_ = 0;
    bool onLoopThread_ = true;
    InterruptSource source_{[this] {
        ++calls_;
        onLoopThread_ = onLoopThread_ && QThread::currentThread() == qApp->thread();
    }};
};

#ifdef _WIN32
// The console's own events, as Ctrl+C and Ctrl+Break at the keyboard make them; they need a
// console to go to.
class ConsoleInterruptTest : public InterruptSourceTest,
                             public ::testing::WithParamInterface<DWORD> {};

TEST_P(ConsoleInterruptTest, EachEventCallsOnceOnTheLoopThread) {
    if (GetConsoleWindow() == nullptr) {
        GTEST_SKIP() << "no console to send the event to";
    }
    ASSERT_EQ(source_.Start(), std::nullopt);
    for (int expected = 1; expected <= 2; ++expected) {
        if (!GenerateConsoleCtrlEvent(GetParam(), 0)) {
            // wine 8 makes no Ctrl+Break at all.
            GTEST_SKIP() << "this Windows does not make event " << GetParam() << ", error "
                         << GetLastError();
        }
        EXPECT_TRUE(WaitForCalls(expected)) << calls_ << " calls";
    }
    EXPECT_TRUE(onLoopThread_);
}

INSTANTIATE_TEST_SUITE_P(CtrlCAndCtrlBreak, ConsoleInterruptTest,
                         ::testing::Values(DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}));
#else
TEST_F(InterruptSourceTest, EachSignalCallsOnceOnTheLoopThread) {
    ASSERT_EQ(source_.Start(), std::nullopt);
    int expected = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGINT}) {
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_TRUE(WaitForCalls(++expected)) << "signal " << signal << ": " << calls_ << " calls";
    }
    EXPECT_TRUE(onLoopThread_);
    // A reader that went away ends nothing by itself.
    ASSERT_EQ(std::raise(SIGPIPE), 0);
    EXPECT_FALSE(WaitForCalls(expected + 1, 200));
}
#endif

}  // namespace
}  // namespace vantrel::cli
