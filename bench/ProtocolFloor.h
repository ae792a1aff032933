#pragma once

#include <cstddef>

namespace vantrel::bench {

// What the unit spends of its own on a download.
struct UnitTimes {
    double eraseMs = 1500;
    double writeMs = 2;  // per firmware chunk
};

// The time no loader following this protocol can beat: every packet's bytes and every ACK at the
// line speed of its step, the unit's own erase and write times, each acknowledged command's wait
// rounded up to the next multiple of its poll interval, the fixed pauses, and 2 ms per selected
// port at each change of line settings.
double ProtocolFloorMs(std::size_t romBytes, int units, const UnitTimes& times);

// Time one byte takes on the line: 10 bits, 11 with parity.
double ByteMs(int baud, bool parity);

}  // namespace vantrel::bench
