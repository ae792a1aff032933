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
// port at each change of line settings. The erase and the firmware go at baud.
double ProtocolFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud = 57600);

// What a loader that looks the moment a byte arrives can reach: the wire's floor plus the
// fixed pauses and 2 ms per selected port at each change of line settings, which the units need.
// No poll rounding.
double SequenceFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud = 57600);

// What the line and the unit need, whatever the loader: every packet's bytes and every ACK at the
// line speed of its step plus the unit's erase and write times. No poll rounding, no fixed pauses
// and no pauses at changes of line settings; everything above it is waiting the protocol asks for
// or the loader adds.
double WireFloorMs(std::size_t romBytes, const UnitTimes& times, int baud = 57600);

// Time one byte takes on the line: 10 bits, 11 with parity.
double ByteMs(int baud, bool parity);

}  // namespace vantrel::bench
