// What a unit writes out afterwards: the flash as S-records and the JSON summary.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <sstream>

#include "LineClient.h"
#include "image/FirmwareLoader.h"
#include "image/ImageBuffer.h"
#include "tools/unitsim/UnitModel.h"

namespace vantrel::sim::test {
namespace {

constexpr LineSample kOdd9600{9600, false, true};
constexpr LineSample kNone9600{9600, false, false};
constexpr LineSample kNone57600{57600, false, false};
const TimePoint kT0 = TimePoint{} + std::chrono::seconds(1);

// A unit that has taken the Demon and erased, in fast mode.
UnitModel ErasedUnit(UnitOptions options = UnitOptions::Fast()) {
    UnitModel model(std::move(options));
    model.Receive(kForceMonitorPacket, kOdd9600, kT0);
    for (std::size_t i = 0; i < DemonChunkCount(); ++i) {
        model.Receive(DemonChunk(i * kMaxChunkData), kNone9600, kT0);
    }
    model.Receive(Packet(BuildRunDemon), kNone9600, kT0);
    model.Receive(SetBaudRatePacket(57600), kNone9600, kT0);
    model.Receive(Packet(BuildEraseFlash), kNone57600, kT0);
    model.Advance(kT0);
    model.TakeOutput(kT0);
    EXPECT_EQ(model.Report().state, UnitState::Erased);
    return model;
}

void Write(UnitModel& model, std::span<const std::uint8_t> image, std::uint32_t address) {
    for (std::size_t offset = 0; offset < image.size(); offset += kMaxChunkData) {
        model.Receive(FirmwareChunk(image, offset, address), kNone57600, kT0);
    }
    model.Advance(kT0);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(FlashSRecordsTest, ReadsBackAsTheImageThatWasSent) {
    UnitModel model = ErasedUnit();
    const auto firmware = MakeFirmware(1000);
    Write(model, firmware, kFlashBase);
    const std::string text = FlashSRecords(model.Report());

    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 32u + 1u);  // 1000 = 31 * 32 + 8, then S7
    EXPECT_EQ(lines[0].substr(0, 12), "S32500C10000");
    EXPECT_EQ(lines[0].size(), 78u);
    EXPECT_EQ(lines[31].substr(0, 12), "S30D00C103E0");
    EXPECT_EQ(lines.back().substr(0, 2), "S7");

    // The loader's own reader takes it as a ROM file.
    auto rom = std::make_unique<RomImage>();
    const auto load =
        LoadFirmware(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                     kFlashBase, *rom);
    ASSERT_TRUE(std::holds_alternative<FirmwareLayout>(load));
    ASSERT_EQ(std::get<FirmwareLayout>(load).size, 1000u);
    EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), rom->begin()));
}

TEST(FlashSRecordsTest, CoversTheWrittenRangeWithItsGaps) {
    UnitModel model = ErasedUnit();
    const auto piece = MakeFirmware(16);
    Write(model, piece, kFlashBase + 0x40);
    Write(model, piece, kFlashBase + 0x70);
    const auto& report = model.Report();
    EXPECT_EQ(report.lowestWritten, kFlashBase + 0x40);
    EXPECT_EQ(report.highestWritten, kFlashBase + 0x7F);
    EXPECT_EQ(report.flashBytesWritten, 32u);
    ASSERT_EQ(report.WrittenRange().size(), 0x40u);
    EXPECT_EQ(report.WrittenRange()[0x10], 0xFF);

    const auto lines = Lines(FlashSRecords(report));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 12), "S32500C10040");
    EXPECT_EQ(lines[1].substr(0, 12), "S32500C10060");
}

TEST(FlashSRecordsTest, NothingWrittenGivesOnlyTheEndRecord) {
    UnitModel model(UnitOptions::Fast());
    EXPECT_TRUE(model.Report().WrittenRange().empty());
    EXPECT_EQ(Lines(FlashSRecords(model.Report())), std::vector<std::string>{"S70500000000FA"});
}

TEST(ReportJsonTest, SaysWhatTheUnitSaw) {
    UnitOptions options = UnitOptions::Fast();
    options.faults = {{FaultKind::FirmwareDoubleAck, 2}, {FaultKind::Noise, 3}};
    UnitModel model = ErasedUnit(options);
    Write(model, MakeFirmware(300), kFlashBase);
    model.Receive(std::vector<std::uint8_t>{0x41}, kNone57600, kT0);
    model.Receive(std::vector<std::uint8_t>{0x41}, kNone9600, kT0);
    model.Advance(kT0);
    auto& report = model.MutableReport();
    report.name = "com2";
    report.linkPath = "/tmp/d \"x\"/com2";

    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReportJson(report))).object();
    const QJsonObject expected{
        {"unit", "com2"},
        {"link", "/tmp/d \"x\"/com2"},
        {"faults", QJsonArray{"fw-double-ack:2", "noise:3"}},
        {"state", "erased"},
        {"reachedMonitor", true},
        {"reachedDemon", true},
        {"reachedErased", true},
        {"hungUp", false},
        {"baud", 57600},
        {"demonChunks", 26},
        {"firmwareChunks", 2},
        {"acksSent", 30},  // 26 + erase + 2 + the double
        {"noiseBytesIgnored", 1},
        {"noiseBytesSent", 87},
        {"flashBase", "0x00C10000"},
        {"flashSize", 655360},
        {"flashBytesWritten", 300},
        {"lowestWritten", "0x00C10000"},
        {"highestWritten", "0x00C1012B"},
        {"protocolErrors", QJsonArray{"stray byte 0x41 outside a frame"}},
    };
    for (auto field = expected.begin(); field != expected.end(); ++field) {
        EXPECT_EQ(json.value(field.key()), field.value()) << field.key().toStdString();
    }
    EXPECT_FALSE(json.contains("flash")) << "flash bytes stay out of the JSON";
}

QJsonObject JsonOf(const UnitReport& report) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(ReportJson(report))).object();
}

TEST(ReportJsonTest, TellsTheUnitsLifeAndWhatWasWritten) {
    UnitModel model = ErasedUnit();
    Write(model, std::vector<std::uint8_t>{'a', 'b', 'c'}, kFlashBase + 0x100);
    auto& report = model.MutableReport();
    report.unit = 2;
    report.pluggedSeconds = 1.5;
    report.pulledSeconds = 4.25;
    const QJsonObject json = JsonOf(report);
    EXPECT_EQ(json.value("instance"), 2);
    EXPECT_EQ(json.value("plugged_s"), 1.5);
    EXPECT_EQ(json.value("pulled_s"), 4.25);
    EXPECT_TRUE(json.value("finished_s").isNull());
    // The SHA-256 of "abc", the written range.
    EXPECT_EQ(json.value("written_sha256"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    const UnitModel untouched(UnitOptions::Fast());
    EXPECT_EQ(JsonOf(untouched.Report()).value("written_sha256"), "") << "nothing written";
}

TEST(ReportJsonTest, NothingWrittenIsNull) {
    UnitModel model(UnitOptions::Fast());
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReportJson(model.Report()))).object();
    EXPECT_TRUE(json.value("lowestWritten").isNull());
    EXPECT_EQ(json.value("protocolErrors"), QJsonArray());
    EXPECT_EQ(json.value("state"), "application");
}

}  // namespace
}  // namespace vantrel::sim::test
