#include "engine/SequenceFloor.h"

#include <algorithm>
#include <cmath>

#include "image/DemonImageText.h"
#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace vantrel {
namespace {

// What a run sends of the Demon, as it reads it from the Demon text.
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

double Ms(std::chrono::milliseconds duration) {
    return static_cast<double>(duration.count());
}

// What the sequence waits for beside the line and the unit.
struct Waiting {
    bool pauses;        // the fixed pauses and those at changes of line settings
    bool roundToPolls;  // an ACK is seen at the first poll after it is in
};

double FloorMs(std::size_t romBytes, int units, const UnitTimes& times, int baud, Waiting waiting) {
    double total = 0;
    LineSettings line = kMonitorLine;
    PacketBuffer packet{};
    for (const SequenceStep& step : kDownloadSequence) {
        if (step.line != StepLine::Unchanged) {
            line = LineOf(step.line, baud);
            total += waiting.pauses ? 2.0 * units : 0.0;
        }
        const double byteMs = ByteMs(line.baud, line.parity != 'N');
        // One packet out, then, when it is answered, the unit's own time and the ACK back.
        const auto sent = [&](std::size_t bytes, std::chrono::milliseconds unitTime) {
            double ms = static_cast<double>(bytes) * byteMs;
            if (step.sentStage >= 0) {
                ms += Ms(unitTime) + byteMs;
                if (waiting.roundToPolls) {
                    ms = RoundUp(ms, Ms(step.ack.poll));
                }
            }
            return ms;
        };
        if (step.sends == StepSends::Demon || step.sends == StepSends::Firmware) {
            const bool firmware = step.sends == StepSends::Firmware;
            const std::size_t bytes = firmware ? romBytes : DemonBytes();
            for (std::size_t at = 0; at < bytes; at += kMaxChunkData) {
                total += sent(std::min(kMaxChunkData, bytes - at) + kChunkOverhead,
                              firmware ? times.write : std::chrono::milliseconds(0));
            }
        } else if (step.sends != StepSends::Nothing) {
            total += sent(
                BuildStepPacket(packet, step.sends, baud),
                step.sends == StepSends::EraseFlash ? times.erase : std::chrono::milliseconds(0));
        }
        total += waiting.pauses ? Ms(step.pause) : 0.0;
    }
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

}  // namespace vantrel
