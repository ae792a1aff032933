// The times a download cannot beat, summed over the sequence: what --inspect tells and the
// benchmark compares its times with.

#include "engine/SequenceFloor.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr UnitTimes kTimes{std::chrono::milliseconds(1500), std::chrono::milliseconds(2)};

TEST(FloorTest, AFullChunkCostsItsLineTimeOnTheWireAndUpToTheNextPollInTheProtocol) {
    // 234 bytes out and an ACK back, 10 bits each, plus the 2 ms write; polls every 5 ms.
    const struct {
        int baud;
        double wireMs;
        double protocolMs;
    } cases[] = {{38400, 63.1979, 65}, {57600, 42.7986, 45}, {115200, 22.3993, 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        EXPECT_NEAR(WireFloorMs(448, kTimes, c.baud) - WireFloorMs(224, kTimes, c.baud), c.wireMs,
                    1e-3);
        EXPECT_NEAR(
            ProtocolFloorMs(448, 4, kTimes, c.baud) - ProtocolFloorMs(224, 4, kTimes, c.baud),
            c.protocolMs, 1e-6);
    }
}

TEST(FloorTest, TheWireFloorIsBelowTheProtocolFloorAndTakesNoTimePerPort) {
    for (std::size_t bytes : {0u, 1u, 224u, 225u, 16u * 1024, 640u * 1024}) {
        for (int baud : {38400, 57600, 115200}) {
            SCOPED_TRACE(std::to_string(bytes) + " bytes at " + std::to_string(baud));
            const double wire = WireFloorMs(bytes, kTimes, baud);
            // At least the fixed pauses of 1,500 ms apart.
            EXPECT_GT(ProtocolFloorMs(bytes, 1, kTimes, baud), wire + 1500);
            // Three changes of line settings, 2 ms per port each.
            EXPECT_NEAR(
                ProtocolFloorMs(bytes, 16, kTimes, baud) - ProtocolFloorMs(bytes, 1, kTimes, baud),
                90, 1e-6);
        }
    }
}

TEST(FloorTest, TheSequenceFloorIsTheWireFloorPlusThePausesTheUnitsNeed) {
    for (std::size_t bytes : {0u, 225u, 640u * 1024}) {
        for (int units : {1, 16}) {
            for (int baud : {57600, 115200}) {
                SCOPED_TRACE(std::to_string(bytes) + " bytes, " + std::to_string(units) +
                             " units at " + std::to_string(baud));
                // 400 + 100 + 300 + 100 + 600 ms and three changes of line settings.
                EXPECT_NEAR(
                    SequenceFloorMs(bytes, units, kTimes, baud) - WireFloorMs(bytes, kTimes, baud),
                    1500 + 3 * 2 * units, 1e-6);
                EXPECT_LE(SequenceFloorMs(bytes, units, kTimes, baud),
                          ProtocolFloorMs(bytes, units, kTimes, baud));
            }
        }
    }
}

TEST(FloorTest, RowsAt57600KeepTheFloorsTheyWereMeasuredAgainst) {
    EXPECT_NEAR(ProtocolFloorMs(640 * 1024, 1, kTimes, 57600), 141'380, 10);
    EXPECT_NEAR(ProtocolFloorMs(16 * 1024, 16, kTimes, 57600), 13'100, 10);
}

}  // namespace
}  // namespace vantrel
