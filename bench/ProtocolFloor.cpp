#include "bench/ProtocolFloor.h"

#include <algorithm>
#include <cmath>

namespace vantrel::bench {
namespace {

constexpr std::size_t kDemonBytes = 5630;
constexpr std::size_t kChunk = 224;
constexpr std::size_t kChunkOverhead = 10;

double RoundUp(double ms, double poll) {
    return std::ceil(ms / poll - 1e-9) * poll;
}

// Chunks of an image: full ones and the rest.
template <typename Fn>
double EachChunk(std::size_t bytes, Fn chunkMs) {
    double total = 0;
    for (std::size_t sent = 0; sent < bytes; sent += kChunk) {
        total += chunkMs(std::min(kChunk, bytes - sent));
    }
    return total;
}

}  // namespace

double ByteMs(int baud, bool parity) {
    return (parity ? 11.0 : 10.0) * 1000.0 / baud;
}

double ProtocolFloorMs(std::size_t romBytes, int units, const UnitTimes& times) {
    const double slow = ByteMs(9600, false);
    const double slowOdd = ByteMs(9600, true);
    const double fast = ByteMs(57600, false);

    double total = 3 * 2.0 * units;         // three changes of line settings
    total += 5 * slowOdd + 400;             // force to monitor, then its pause
    total += RoundUp(4 * slow + slow, 20);  // enquiry and its ACK
    total += 100;                           // pause before the Demon
    total += EachChunk(kDemonBytes, [&](std::size_t n) {
        return RoundUp(static_cast<double>(n + kChunkOverhead) * slow + slow, 5);
    });
    total += 10 * slow + 300;  // RunDemon
    total += 7 * slow + 100;   // SetBaudRate
    total += 600;              // after the speed switch
    total += RoundUp(6 * fast + times.eraseMs + fast, 500);
    total += EachChunk(romBytes, [&](std::size_t n) {
        return RoundUp(static_cast<double>(n + kChunkOverhead) * fast + times.writeMs + fast, 5);
    });
    return total;
}

}  // namespace vantrel::bench
