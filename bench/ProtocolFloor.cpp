#include "bench/ProtocolFloor.h"

#include <algorithm>
#include <cmath>

#include "engine/MonitorPackets.h"
#include "image/DemonImageText.h"
#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace vantrel::bench {
namespace {

// What the loader sends of the Demon, as it reads it from the Demon text.
std::size_t DemonBytes() {
    static const std::size_t bytes = [] {
        DemonImage image{};
        return static_cast<std::size_t>(
            std::max(0, SRecordReader::LoadFromText(DemonImageText, image, kDemonBaseAddress)));
    }();
    return bytes;
}

double RoundUp(double ms, double poll) {
    return std::ceil(ms / poll - 1e-9) * poll;
}

// Chunks of an image: full ones and the rest.
template <typename Fn>
double EachChunk(std::size_t bytes, Fn chunkMs) {
    double total = 0;
    for (std::size_t sent = 0; sent < bytes; sent += kMaxChunkData) {
        total += chunkMs(std::min(kMaxChunkData, bytes - sent));
    }
    return total;
}

// What the sequence waits for beside the line and the unit.
struct Waiting {
    bool pauses;        // the fixed pauses and those at changes of line settings
    bool roundToPolls;  // an ACK is seen at the first poll after it is in
};

double FloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud, Waiting waiting) {
    const double slow = ByteMs(9600, false);
    const double slowOdd = ByteMs(9600, true);
    const double fast = ByteMs(baud, false);
    const auto acked = [waiting](double ms, double poll) {
        return waiting.roundToPolls ? RoundUp(ms, poll) : ms;
    };
    const auto pause = [waiting](double ms) { return waiting.pauses ? ms : 0.0; };

    double total = pause(3 * 2.0 * units);  // three changes of line settings
    total += 5 * slowOdd + pause(400);      // force to monitor, then its pause
    total += acked(4 * slow + slow, 20);    // enquiry and its ACK
    total += pause(100);                    // pause before the Demon
    total += EachChunk(DemonBytes(), [&](std::size_t n) {
        return acked(static_cast<double>(n + kChunkOverhead) * slow + slow, 5);
    });
    total += 10 * slow + pause(300);  // RunDemon
    total += 7 * slow + pause(100);   // SetBaudRate
    total += pause(600);              // after the speed switch
    total += acked(6 * fast + times.eraseMs + fast, 500);
    total += EachChunk(romBytes, [&](std::size_t n) {
        return acked(static_cast<double>(n + kChunkOverhead) * fast + times.writeMs + fast, 5);
    });
    return total;
}

}  // namespace

double ByteMs(int baud, bool parity) {
    return (parity ? 11.0 : 10.0) * 1000.0 / baud;
}

double ProtocolFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud) {
    return FloorMs(romBytes, units, times, baud, {.pauses = true, .roundToPolls = true});
}

double SequenceFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud) {
    return FloorMs(romBytes, units, times, baud, {.pauses = true, .roundToPolls = false});
}

double WireFloorMs(std::size_t romBytes, const UnitTimes& times, int baud) {
    return FloorMs(romBytes, 0, times, baud, {.pauses = false, .roundToPolls = false});
}

}  // namespace vantrel::bench
