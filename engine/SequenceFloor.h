#pragma once

#include <cstddef>

#include "engine/DownloadSequence.h"

namespace vantrel {

// The times a download cannot beat, summed over the download sequence's own steps: every
// packet's bytes and every ACK at the line speed of its step, and the unit's erase and write
// times. The erase and the firmware go at baud; the Demon sent is the built-in one.

// What no loader following the protocol can beat: the above, each acknowledged command's wait
// rounded up to the next multiple of its poll, the fixed pauses, and 2 ms per selected port at
// each change of line settings.
double ProtocolFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud);
// What a loader that looks the moment an ACK is in can reach: as above without the rounding.
double SequenceFloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud);
// What the line and the unit alone need: no rounding, no pauses at all.
double WireFloorMs(std::size_t romBytes, const UnitTimes& times, int baud);

// Time one byte takes on the line: 10 bits, 11 with parity.
double ByteMs(int baud, bool parity);

}  // namespace vantrel
