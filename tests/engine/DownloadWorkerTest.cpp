#include "engine/DownloadWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "engine/UnitStage.h"
#include "image/DemonImageText.h"
#include "image/SRecordReader.h"
#include "image/SRecordWriter.h"
#include "tests/engine/FakeHost.h"

namespace vantrel {
namespace {

using testing::FakeHost;
using testing::HostEvent;
using testing::UnitBehaviour;

constexpr std::uint32_t kBase = 0x00C10000;

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
    }
    return bytes;
}

FirmwareContent ContentOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// A compact picture of what went to the ports and how long each pause was.
std::string Describe(const HostEvent& e) {
    switch (e.kind) {
        case HostEvent::LineSettings:
            return "settings " + e.text;
        case HostEvent::Sleep:
            return "sleep " + std::to_string(e.port);
        case HostEvent::Wait:
            return "wait " + std::to_string(e.port);
        case HostEvent::Write: {
            if (e.bytes.size() >= 10 && e.bytes[0] == kStx &&
                (e.bytes[2] == 0x81 || e.bytes[2] == 0x89)) {
                const std::uint32_t address = (std::uint32_t{e.bytes[4]} << 24) |
                                              (std::uint32_t{e.bytes[5]} << 16) |
                                              (std::uint32_t{e.bytes[6]} << 8) | e.bytes[7];
                return std::string(e.bytes[2] == 0x81 ? "demon " : "fw ") + Hex(address) + " " +
                       std::to_string(e.bytes.size() - 10);
            }
            std::string text = "write";
            for (auto b : e.bytes) {
                text += ' ';
                text += Hex(b);
            }
            return text;
        }
        default:
            return {};
    }
}

std::vector<std::string> PortStream(const FakeHost& fake) {
    std::vector<std::string> stream;
    for (const auto& e : fake.events) {
        if (std::string text = Describe(e); !text.empty()) {
            stream.push_back(text);
        }
    }
    return stream;
}

class DownloadWorkerTest : public ::testing::Test {
  protected:
    RunOutcome RunWith(std::vector<std::uint8_t> image, std::string base = "00C10000") {
        return RunWithText(FormatS3Records(image, kBase), std::move(base));
    }
    // As a batch runs: planned, then run.
    RunOutcome RunWithText(const std::string& romText, std::string base = "00C10000",
                           int baud = kDefaultDemonBaud, DownloadHost* host = nullptr,
                           std::string path = "/roms/unit.rom") {
        auto plan = PlanRun(*state, ContentOf(romText), base, baud);
        EXPECT_TRUE(std::holds_alternative<RunPlan>(plan));
        std::get<RunPlan>(plan).romPathText = std::move(path);
        DownloadWorker worker(*state, host != nullptr ? *host : *fake);
        result = worker.Run(std::get<RunPlan>(plan));
        return result.outcome;
    }
    static void AddUnitsTo(FakeHost& host, int count) {
        for (int port = 1; port <= count; ++port) {
            host.AddUnit(port);
        }
    }
    void AddUnits(int count, UnitBehaviour behaviour = {}) {
        for (int port = 1; port <= count; ++port) {
            fake->AddUnit(port, behaviour);
        }
    }
    std::vector<const HostEvent*> Writes(std::uint8_t command) const {
        std::vector<const HostEvent*> out;
        for (const auto& e : fake->events) {
            if (e.kind == HostEvent::Write && e.bytes.size() > 2 && e.bytes[0] == kStx &&
                e.bytes[2] == command) {
                out.push_back(&e);
            }
        }
        return out;
    }

    void Reset() {
        stop.Reset();
        state = std::make_unique<LoaderState>();
        fake = std::make_unique<FakeHost>(*state, stop);
    }

    StopSignal stop;
    std::unique_ptr<LoaderState> state = std::make_unique<LoaderState>();
    std::unique_ptr<FakeHost> fake = std::make_unique<FakeHost>(*state, stop);
    RunResult result;
};

std::vector<std::string> ExpectedStream(const std::vector<std::string>& firmwareChunks) {
    std::vector<std::string> expected = {
        "settings 9600,O,8,1", "write 10 1E 4D 10 3", "sleep 400",
        "settings 9600,N,8,1", "write 5 A 14 28",     "wait 1",
        "sleep 100",
    };
    for (int k = 0; k < 26; ++k) {
        expected.push_back("demon " + Hex(0x800 + 224 * k) + (k < 25 ? " 224" : " 30"));
        expected.push_back("wait 1");
    }
    for (const char* line :
         {"write 2 0 82 4 0 0 8 0 8E 3", "sleep 300", "write 2 0 86 1 D 94 3", "sleep 100",
          "settings 57600,N,8,1", "sleep 600", "write 2 0 8F 0 8F 3", "wait 50"}) {
        expected.push_back(line);
    }
    for (const auto& chunk : firmwareChunks) {
        expected.push_back(chunk);
        expected.push_back("wait 1");
    }
    return expected;
}

TEST_F(DownloadWorkerTest, CommandStreamForOneThreeAndSixteenUnits) {
    for (int units : {1, 3, 16}) {
        SCOPED_TRACE(units);
        Reset();
        AddUnits(units);
        EXPECT_EQ(RunWith(Pattern(500)), RunOutcome::Completed);
        EXPECT_EQ(PortStream(*fake),
                  ExpectedStream({"fw C10000 224", "fw C100E0 224", "fw C101C0 52"}));
        std::vector<int> all(static_cast<std::size_t>(units));
        std::iota(all.begin(), all.end(), 1);
        for (const auto& e : fake->Events(HostEvent::Write)) {
            EXPECT_EQ(e.ports, all);
        }
        // Every wait ends at its ACK (1 ms, the erase's at 50 ms); every change of line settings
        // pauses 2 ms per selected port.
        const long fixed = 400 + 1 + 100 + 26 * 1 + 300 + 100 + 600 + 50 + 3 * 1;
        EXPECT_EQ(fake->NowMs(), fixed + 3 * 2 * units);
        for (int port = 1; port <= units; ++port) {
            EXPECT_EQ(fake->Status(port), "FW Load Complete");
            EXPECT_EQ(state->Port(port).stage.load(), kFwLoadComplete);
            EXPECT_FALSE(fake->IsOpen(port));
        }
        EXPECT_TRUE(fake->Messages().empty());
        EXPECT_FALSE(state->InProgress());
        EXPECT_EQ(fake->events.back().kind, HostEvent::EnableStart);
    }
}

TEST_F(DownloadWorkerTest, TheRunAsksTheUnitsForItsLineSpeedAndThenGoesOnAtIt) {
    AddUnits(2);
    EXPECT_EQ(RunWithText(FormatS3Records(Pattern(300), kBase), "00C10000", 115200),
              RunOutcome::Completed);
    const auto stream = PortStream(*fake);
    const auto request = std::find(stream.begin(), stream.end(), "write 2 0 86 1 E 95 3");
    ASSERT_GE(std::distance(request, stream.end()), 3);
    EXPECT_EQ(request[2], "settings 115200,N,8,1");
}

TEST_F(DownloadWorkerTest, DemonGoesOutAsTwentySixChunksFromTheBuiltInText) {
    AddUnits(1);
    ASSERT_EQ(RunWith(Pattern(10)), RunOutcome::Completed);
    DemonImage demon{};
    ASSERT_EQ(SRecordReader::LoadFromText(DemonImageText, demon, 0x800), 5630);
    const auto chunks = Writes(0x81);
    ASSERT_EQ(chunks.size(), 26u);
    std::vector<std::uint8_t> sent;
    for (const auto* chunk : chunks) {
        sent.insert(sent.end(), chunk->bytes.begin() + 8, chunk->bytes.end() - 2);
    }
    ASSERT_EQ(sent.size(), 5630u);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), demon.begin()));
    EXPECT_EQ(sent[2304], 0xFF);
    EXPECT_EQ(sent.back(), 0xFF);
    EXPECT_EQ(chunks.back()->bytes[3], 34) << "the last chunk carries 30 bytes";
}

TEST_F(DownloadWorkerTest, FirmwareChunksGoToBasePlusOffsetWithTheImageBytes) {
    AddUnits(2);
    const auto image = Pattern(1000);
    ASSERT_EQ(RunWith(image), RunOutcome::Completed);
    const auto chunks = Writes(0x89);
    ASSERT_EQ(chunks.size(), 5u);
    std::vector<std::uint8_t> sent;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        const auto offset = static_cast<std::uint32_t>(224 * k);
        EXPECT_EQ(Describe(*chunks[k]), "fw " + Hex(kBase + offset) + (k < 4 ? " 224" : " 104"));
        sent.insert(sent.end(), chunks[k]->bytes.begin() + 8, chunks[k]->bytes.end() - 2);
    }
    EXPECT_EQ(sent, image);
}

TEST_F(DownloadWorkerTest, ImagesAtTheChunkEdges) {
    struct Case {
        std::size_t size;
        std::vector<std::string> chunks;
    };
    for (const Case& c : {Case{1, {"fw C10000 1"}}, Case{224, {"fw C10000 224"}},
                          Case{225, {"fw C10000 224", "fw C100E0 1"}}}) {
        SCOPED_TRACE(c.size);
        Reset();
        AddUnits(1);
        EXPECT_EQ(RunWith(Pattern(c.size)), RunOutcome::Completed);
        EXPECT_EQ(PortStream(*fake), ExpectedStream(c.chunks));
        EXPECT_EQ(fake->Status(1), "FW Load Complete");
        EXPECT_EQ(fake->progress, 100);
    }
}

// Progress position after each event, for the firmware loop only.
std::vector<int> FirmwareProgress(const FakeHost& fake) {
    std::vector<int> positions;
    bool inFirmware = false;
    int position = 0;
    for (const auto& e : fake.events) {
        if (e.kind == HostEvent::Progress) {
            if (inFirmware) {
                break;
            }
            position = e.port;
            inFirmware = position == 0;
        } else if (e.kind == HostEvent::ProgressStep && inFirmware) {
            positions.push_back(++position);
        }
    }
    return positions;
}

TEST_F(DownloadWorkerTest, ProgressStepsAtMostOncePerChunkAndStartsAfreshEachLoop) {
    AddUnits(1);
    ASSERT_EQ(RunWith(Pattern(22400)), RunOutcome::Completed);
    // 100 chunks with a step of 224: the first chunk does not pass the first threshold.
    EXPECT_EQ(FirmwareProgress(*fake).size(), 99u);
    // The Demon loop passes its threshold of 56 with every chunk.
    std::size_t demonSteps = 0;
    for (const auto& e : fake->events) {
        if (e.kind == HostEvent::Progress) {
            break;
        }
        demonSteps += e.kind == HostEvent::ProgressStep;
    }
    EXPECT_EQ(demonSteps, 26u);
    const auto progress = fake->Events(HostEvent::Progress);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[0].port, 100);
    EXPECT_EQ(progress[1].port, 0);
    EXPECT_EQ(progress[2].port, 100);
}

TEST_F(DownloadWorkerTest, SmallImageStepsOncePerChunk) {
    AddUnits(1);
    ASSERT_EQ(RunWith(Pattern(99)), RunOutcome::Completed);
    EXPECT_EQ(FirmwareProgress(*fake).size(), 1u);
}

TEST_F(DownloadWorkerTest, SecondRunMovesTheBarExactlyAsTheFirst) {
    AddUnits(1);
    const auto image = Pattern(5000);
    ASSERT_EQ(RunWith(image), RunOutcome::Completed);
    const auto first = FirmwareProgress(*fake);
    fake->events.clear();
    state->Port(1).selected.store(true);
    ASSERT_EQ(RunWith(image), RunOutcome::Completed);
    EXPECT_EQ(FirmwareProgress(*fake), first);
    EXPECT_EQ(first.size(), 23u) << "every chunk passes a threshold 50 bytes apart";
}

TEST_F(DownloadWorkerTest, SettingsAreWrittenExactlyAsTypedOnceBothImagesLoad) {
    AddUnits(1);
    ASSERT_EQ(RunWithText(FormatS3Records(Pattern(4), kBase), "c10000", kDefaultDemonBaud, nullptr,
                          "/home/tech/fw v2.rom"),
              RunOutcome::Completed);
    const auto settings = fake->Events(HostEvent::Setting);
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[0].text, "RomFile/NameAndPath=/home/tech/fw v2.rom");
    EXPECT_EQ(settings[1].text, "Misc/FwBaseAddr=c10000");
    EXPECT_EQ(Writes(0x89).front()->bytes[5], 0xC1);
    // Written before anything reaches a port.
    EXPECT_EQ(fake->events[1].kind, HostEvent::Setting);
    EXPECT_EQ(fake->events[2].kind, HostEvent::LineSettings);
}

TEST_F(DownloadWorkerTest, EveryUnitFailingTheEnquiryEndsTheRunAfterThatWait) {
    UnitBehaviour silent;
    silent.answersEnquiry = false;
    AddUnits(3, silent);
    EXPECT_EQ(RunWith(Pattern(300)), RunOutcome::AllUnitsFailed);
    EXPECT_EQ(fake->Messages().size(), 3u);
    EXPECT_TRUE(Writes(0x81).empty());
    EXPECT_TRUE(fake->startEnabled);
    EXPECT_EQ(fake->NowMs(), 400 + 300 + 2 * 2 * 3);
}

TEST_F(DownloadWorkerTest, OneFailingUnitOfThreeIsDroppedAndTheOthersComplete) {
    AddUnits(3);
    UnitBehaviour silent;
    silent.answersEnquiry = false;
    fake->AddUnit(3, silent);
    EXPECT_EQ(RunWith(Pattern(300)), RunOutcome::Completed);
    EXPECT_EQ(fake->Messages(),
              std::vector<std::string>{"Error detected with the unit connected to COM 3: Force2Mon "
                                       "Failed..."});
    EXPECT_EQ(fake->Status(3), "Force2Mon Failed...");
    EXPECT_EQ(fake->Status(1), "FW Load Complete");
    EXPECT_EQ(fake->Status(2), "FW Load Complete");
    for (const auto* write : Writes(0x81)) {
        EXPECT_EQ(write->ports, (std::vector<int>{1, 2}));
    }
    // The run tells each unit's end itself, as its host was told it.
    ASSERT_EQ(result.units.size(), 3u);
    for (const UnitRun& unit : result.units) {
        const bool failed = unit.port == 3;
        EXPECT_EQ(unit.text, fake->Status(unit.port));
        EXPECT_EQ(unit.complete, !failed);
        EXPECT_EQ(unit.failedStage,
                  failed ? std::optional<int>(kForce2MonSuccessful) : std::nullopt);
    }
    // The silent unit's last text came at the enquiry wait's end, the others' at the run's.
    EXPECT_EQ(result.units[2].lastText - result.started, std::chrono::milliseconds(712));
    EXPECT_EQ(result.units[0].lastText, result.units[1].lastText);
    EXPECT_GT(result.units[0].lastText - result.started, std::chrono::seconds(1));
    EXPECT_TRUE(result.bytesSent);
}

TEST_F(DownloadWorkerTest, UnitFailingTheEraseIsDropped) {
    AddUnits(2);
    UnitBehaviour noErase;
    noErase.answersErase = false;
    fake->AddUnit(2, noErase);
    EXPECT_EQ(RunWith(Pattern(300)), RunOutcome::Completed);
    EXPECT_EQ(fake->Messages(),
              std::vector<std::string>{
                  "Error detected with the unit connected to COM 2: Erase Failed..."});
    for (const auto* write : Writes(0x89)) {
        EXPECT_EQ(write->ports, std::vector<int>{1});
    }
}

TEST_F(DownloadWorkerTest, UnitFailingAFirmwareChunkGetsNoLaterChunk) {
    AddUnits(2);
    UnitBehaviour stopsAtThird;
    stopsAtThird.silentFromFirmwareChunk = 3;
    fake->AddUnit(1, stopsAtThird);
    EXPECT_EQ(RunWith(Pattern(224 * 5)), RunOutcome::Completed);
    EXPECT_EQ(fake->Messages(),
              std::vector<std::string>{"Error detected with the unit connected to COM 1: FW Load "
                                       "Cmd Not Ack..."});
    const auto chunks = Writes(0x89);
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[2]->ports, (std::vector<int>{1, 2}));
    EXPECT_EQ(chunks[3]->ports, std::vector<int>{2});
    EXPECT_EQ(fake->Status(1), "FW Load Cmd Not Ack...");
    EXPECT_EQ(fake->Status(2), "FW Load Complete");
}

TEST_F(DownloadWorkerTest, TheNextChunkGoesOutAtTheLastAckOnlyWhenEveryUnitIsExactlyIn) {
    struct Case {
        const char* name;
        UnitBehaviour unit1;
        std::vector<bool> armed;  // per firmware chunk: went out where the ACKs are counted
        std::vector<long> gaps;   // ms from each firmware chunk to the next
    };
    const Case cases[] = {
        {"both answer", {}, {false, true, true, true, true}, {1, 1, 1, 1}},
        {"unit 1 silent from chunk 3",
         {.silentFromFirmwareChunk = 3},
         {false, true, true, false, true},
         {1, 1, 300, 1}},
        {"unit 1 acknowledges chunk 2 twice in one burst",
         {.doubleAckFirmwareChunk = 2},
         {false, true, false, true, true},
         {1, 300, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        fake->AddUnit(1, c.unit1);
        fake->AddUnit(2);
        EXPECT_EQ(RunWith(Pattern(224 * 5)), RunOutcome::Completed);
        const auto chunks = Writes(0x89);
        ASSERT_EQ(chunks.size(), 5u);
        for (std::size_t k = 0; k < chunks.size(); ++k) {
            EXPECT_EQ(chunks[k]->armed, c.armed[k]) << "chunk " << k + 1;
            if (k > 0) {
                EXPECT_EQ(chunks[k]->at - chunks[k - 1]->at, c.gaps[k - 1]) << "chunk " << k + 1;
            }
        }
        EXPECT_EQ(fake->Status(2), "FW Load Complete");
    }
}

TEST_F(DownloadWorkerTest, StopDuringAnyPauseOrWaitEndsTheRunWithoutTouchingTheHost) {
    // Times inside: a line settings change, the 400 ms pause, the enquiry wait, a Demon chunk
    // wait, the 300, 100 and 600 ms pauses, the erase wait and a firmware chunk wait; each ACK
    // comes 10 ms after its command.
    for (long stopAt : {1L, 100L, 410L, 560L, 900L, 1100L, 1500L, 2000L, 2700L}) {
        SCOPED_TRACE(stopAt);
        Reset();
        fake->AddUnit(1, UnitBehaviour{.ackDelayMs = 10, .eraseMs = 900});
        fake->StopAt(stopAt);
        EXPECT_EQ(RunWith(Pattern(224 * 40)), RunOutcome::Stopped);
        ASSERT_TRUE(fake->eventsAtStop.has_value());
        EXPECT_EQ(fake->events.size(), *fake->eventsAtStop) << "nothing touched after the stop";
        EXPECT_EQ(fake->NowMs(), stopAt);
        EXPECT_FALSE(fake->startEnabled);
    }
}

// A host on which a stop is requested, as the session requests one, during its nth change of
// line settings; the call itself still ends normally.
class StopDuringLineSettingsHost : public FakeHost {
  public:
    StopDuringLineSettingsHost(LoaderState& state, StopSignal& stop, int stopAtChange)
        : FakeHost(state, stop), state_(state), stop_(stop), stopAtChange_(stopAtChange) {}
    void SetLineSettings(const LineSettings& settings) override {
        FakeHost::SetLineSettings(settings);
        if (++changes_ == stopAtChange_) {
            state_.SetInProgress(false);
            stop_.RequestStop();
        }
    }

  private:
    LoaderState& state_;
    StopSignal& stop_;
    int stopAtChange_;
    int changes_ = 0;
};

TEST_F(DownloadWorkerTest, AStopRequestedJustBeforeTheEnquiryStaysAStop) {
    // The second change is the monitor line, the last call before the run is in progress.
    StopDuringLineSettingsHost host(*state, stop, 2);
    AddUnitsTo(host, 2);
    EXPECT_EQ(
        RunWithText(FormatS3Records(Pattern(500), kBase), "00C10000", kDefaultDemonBaud, &host),
        RunOutcome::Stopped);
    EXPECT_FALSE(state->InProgress()) << "the stop is not undone by the enquiry";
    EXPECT_TRUE(PortStream(host).back().starts_with("settings 9600,N,8,1")) << "nothing sent after";
    EXPECT_FALSE(host.startEnabled);
    // Nothing is counted for the stopped run afterwards.
    const int stage = state->Port(1).stage.load();
    const std::uint8_t ack = kAck;
    state->CountAcknowledgements(1, std::span(&ack, 1));
    EXPECT_EQ(state->Port(1).stage.load(), stage);
}

// A host that fails unexpectedly at its nth write to the ports.
class ThrowingHost : public FakeHost {
  public:
    ThrowingHost(LoaderState& state, StopSignal& stop, int throwAtWrite)
        : FakeHost(state, stop), throwAtWrite_(throwAtWrite) {}
    void WriteToSelected(std::span<const std::uint8_t> bytes) override {
        if (++writes_ == throwAtWrite_) {
            throw std::bad_alloc();
        }
        FakeHost::WriteToSelected(bytes);
    }

  private:
    int throwAtWrite_;
    int writes_ = 0;
};

TEST_F(DownloadWorkerTest, UnexpectedErrorEndsTheRunLikeFinishRunWithOneMessage) {
    ThrowingHost host(*state, stop, 5);
    AddUnitsTo(host, 2);
    EXPECT_EQ(
        RunWithText(FormatS3Records(Pattern(500), kBase), "00C10000", kDefaultDemonBaud, &host),
        RunOutcome::InternalError);

    EXPECT_FALSE(state->InProgress());
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>{std::string(kInternalErrorMessage) + "std::bad_alloc"});
    EXPECT_EQ(host.messageIcons, std::vector<MessageIcon>{MessageIcon::Exclamation});
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events.back().kind, HostEvent::EnableStart);
    EXPECT_EQ(host.events[host.events.size() - 2].kind, HostEvent::CloseSelected);
    EXPECT_FALSE(host.IsOpen(1) || host.IsOpen(2));
}

}  // namespace
}  // namespace vantrel
