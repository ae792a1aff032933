#include "cli/LineInput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantrel::cli {
namespace {

// Hands over one chunk per look, then the end; each look wakes the event loop, as bytes
// arriving would.
class ScriptedBytes : public InputBytes {
  public:
    ScriptedBytes(std::vector<std::string> chunks, bool terminal)
        : chunks_(std::move(chunks)), terminal_(terminal) {}

    void TakeArrived(std::string& into) override {
        if (next_ < chunks_.size()) {
            into += chunks_[next_++];
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    }
    bool Ended() const override { return next_ == chunks_.size(); }
    bool DropTypedAhead() override { return terminal_; }

  private:
    std::vector<std::string> chunks_;
    std::size_t next_ = 0;
    bool terminal_;
};

// The waits run the event loop.
class LineInputTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            static QCoreApplication app(argc, argv);
        }
    }
};

std::vector<std::string> AllLines(LineInput& input) {
    std::vector<std::string> lines;
    while (const auto line = input.Next([] { return false; })) {
        lines.push_back(*line);
    }
    return lines;
}

TEST_F(LineInputTest, LinesAcrossChunksAndLineEnds) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{}, {}},
        {{"\n"}, {""}},
        {{"q\n"}, {"q"}},
        {{"a\r\nb\n"}, {"a", "b"}},
        {{"a", "b", "\n", "c"}, {"ab", "c"}},  // a last line without its end counts
        {{"a\r", "\n\n"}, {"a", ""}},          // CR LF split between two reads
        {{"x\n", "", "y\n"}, {"x", "y"}},
    };
    for (const Case& c : cases) {
        LineInput input(std::make_unique<ScriptedBytes>(c.chunks, false));
        EXPECT_EQ(AllLines(input), c.lines) << ::testing::PrintToString(c.chunks);
    }
}

TEST_F(LineInputTest, TypedAheadIsDroppedOnlyFromATerminal) {
    for (const bool terminal : {false, true}) {
        LineInput input(std::make_unique<ScriptedBytes>(
            std::vector<std::string>{"go\npressed during the run\n", "next\n"}, terminal));
        EXPECT_EQ(input.Next([] { return false; }), "go");
        input.DropTypedAhead();
        const std::vector<std::string> expected =
            terminal ? std::vector<std::string>{"next"}
                     : std::vector<std::string>{"pressed during the run", "next"};
        EXPECT_EQ(AllLines(input), expected) << "terminal " << terminal;
    }
}

// Standard input replaced by a pipe while the test runs.
class PipedStandardInput {
  public:
    PipedStandardInput() {
#ifdef _WIN32
        HANDLE read = nullptr;
        EXPECT_TRUE(CreatePipe(&read, &write_, nullptr, 0));
        saved_ = GetStdHandle(STD_INPUT_HANDLE);
        SetStdHandle(STD_INPUT_HANDLE, read);
        // The read end stays open: the reading thread may still be on its way out of a read.
#else
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        saved_ = dup(STDIN_FILENO);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        write_ = ends[1];
#endif
    }
    ~PipedStandardInput() {
        Close();
#ifdef _WIN32
        SetStdHandle(STD_INPUT_HANDLE, saved_);
#else
        dup2(saved_, STDIN_FILENO);
        close(saved_);
#endif
    }

    void Write(const std::string& text) {
#ifdef _WIN32
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(write_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        ASSERT_EQ(written, text.size());
#else
        ASSERT_EQ(write(write_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
#endif
    }
    void Close() {
#ifdef _WIN32
        if (write_ != nullptr) {
            CloseHandle(write_);
            write_ = nullptr;
        }
#else
        if (write_ >= 0) {
            close(write_);
            write_ = -1;
        }
#endif
    }

  private:
#ifdef _WIN32
    HANDLE write_ = nullptr;
    HANDLE saved_ = nullptr;
#else
    int write_ = -1;
    int saved_ = -1;
#endif
};

TEST_F(LineInputTest, StandardInputWakesTheWaitAndEnds) {
    PipedStandardInput pipe;
    LineInput input;
    pipe.Write("first\r\n");
    EXPECT_EQ(input.Next([] { return false; }), "first");
    // Written while the loop waits: the wait ends with it.
    std::thread writer([&pipe] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pipe.Write("second\nlast");
        pipe.Close();
    });
    EXPECT_EQ(input.Next([] { return false; }), "second");
    EXPECT_EQ(input.Next([] { return false; }), "last");
    EXPECT_EQ(input.Next([] { return false; }), std::nullopt);
    writer.join();
}

TEST_F(LineInputTest, AStopEndsTheWaitWithoutEndingTheInput) {
    PipedStandardInput pipe;
    LineInput input;
    // As an interrupt comes: a call queued to the loop from another thread.
    bool stopped = false;
    std::thread interrupt([&stopped] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&stopped] { stopped = true; }, Qt::QueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(input.Next([&stopped] { return stopped; }), std::nullopt);
    EXPECT_LT(clock.elapsed(), 10000);
    interrupt.join();
    pipe.Write("after\n");
    EXPECT_EQ(input.Next([] { return false; }), "after");
}

}  // namespace
}  // namespace vantrel::cli
