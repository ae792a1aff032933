// What a chunk costs across a pseudo-terminal on this machine with no loader at all: a bare
// reader writes a 234-byte packet, sleeps in poll() and reads the one-byte ACK that a spinning
// unit thread writes after a fixed time. The time beyond the unit's is the machine's own floor
// per chunk, below anything flash_bench can measure of the loader.
//
//   pty_round_trip [ROUNDS]    (default 300 per row)
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPacketBytes = 234;

struct Row {
    const char* what;
    std::chrono::microseconds unitTime;  // from the packet's arrival to the unit's ACK
};

// A 224-byte chunk at 115200 (234 bytes on the line and the ACK) plus the unit's 2 ms write.
constexpr Row kRows[] = {{"answer at once", std::chrono::microseconds(0)},
                         {"answer after a chunk at 115200", std::chrono::microseconds(22400)}};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: pty_round_trip [ROUNDS]\n");
        return 2;
    }
    const int unitEnd = posix_openpt(O_RDWR | O_NOCTTY);
    if (unitEnd < 0 || grantpt(unitEnd) != 0 || unlockpt(unitEnd) != 0) {
        std::perror("pty_round_trip: posix_openpt");
        return 1;
    }
    const int loaderEnd = open(ptsname(unitEnd), O_RDWR | O_NOCTTY);
    termios line{};
    if (loaderEnd < 0 || tcgetattr(loaderEnd, &line) != 0) {
        std::perror("pty_round_trip: open");
        return 1;
    }
    cfmakeraw(&line);
    tcsetattr(loaderEnd, TCSANOW, &line);

    fcntl(unitEnd, F_SETFL, fcntl(unitEnd, F_GETFL) | O_NONBLOCK);
    std::atomic<std::chrono::microseconds::rep> unitTime{0};
    std::atomic<Clock::rep> ackWrittenAt{0};
    std::atomic<bool> done{false};
    // Spins as a unit's processor polls its UART, so it sees each packet the moment it is in.
    std::thread unit([&] {
        char buffer[512];
        std::size_t got = 0;
        while (!done) {
            const ssize_t n = read(unitEnd, buffer, sizeof buffer);
            if (n <= 0) {
                continue;
            }
            got += static_cast<std::size_t>(n);
            if (got < kPacketBytes) {
                continue;
            }
            got -= kPacketBytes;
            const auto due = Clock::now() + std::chrono::microseconds(unitTime.load());
            while (Clock::now() < due) {
            }
            const char ack = 0x06;
            ackWrittenAt = Clock::now().time_since_epoch().count();
            (void)write(unitEnd, &ack, 1);
        }
    });

    std::printf("%-32s %14s %14s\n", "row", "wake-up us", "per chunk us");
    const char packet[kPacketBytes] = {};
    for (const Row& row : kRows) {
        unitTime = row.unitTime.count();
        std::vector<double> wakeUps;
        std::vector<double> overheads;
        for (int i = 0; i < rounds; ++i) {
            const auto sent = Clock::now();
            (void)write(loaderEnd, packet, sizeof packet);
            pollfd wait{loaderEnd, POLLIN, 0};
            poll(&wait, 1, -1);
            const auto awake = Clock::now();
            char ack = 0;
            (void)read(loaderEnd, &ack, 1);
            const auto ackAt = Clock::time_point(Clock::duration(ackWrittenAt.load()));
            wakeUps.push_back(std::chrono::duration<double, std::micro>(awake - ackAt).count());
            overheads.push_back(
                std::chrono::duration<double, std::micro>(awake - sent - row.unitTime).count());
        }
        std::printf("%-32s %14.1f %14.1f\n", row.what, Median(wakeUps), Median(overheads));
    }
    done = true;
    unit.join();
    return 0;
}
