#pragma once

#include <termios.h>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::testing {

// Hang protection only: every wait below ends early once its condition holds.
inline constexpr std::chrono::milliseconds kPatience{5000};

// A pseudo-terminal whose slave the loader opens as its serial device; the test plays the unit
// on the master. Keeps a slave descriptor of its own, so the line stays up while the loader
// opens and closes the slave. The loader reaches the slave through a link in a directory of its
// own: the serial layer locks a device by the name it is opened under, and pty numbers are
// shared with every other process on the host.
class BarePty {
  public:
    BarePty();
    ~BarePty();
    BarePty(const BarePty&) = delete;
    BarePty& operator=(const BarePty&) = delete;

    // The path the loader opens.
    QString Path() const { return linkPath_; }
    void Send(const std::vector<std::uint8_t>& bytes);
    // Writes as much of bytes as the line takes now; returns how much that was.
    std::size_t Offer(const std::vector<std::uint8_t>& bytes);
    // Reads until count bytes came or the patience ran out; returns what came.
    std::vector<std::uint8_t> Receive(std::size_t count);
    // Everything that reached the master by now, without waiting.
    std::vector<std::uint8_t> Drain();
    // The settings the loader put on the slave.
    termios Settings() const;
    // Sets the slave's settings, as an earlier user of the device might have left them.
    void SetSettings(const termios& settings);
    // Closes both sides, as a unit that hangs up.
    void HangUp();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    QTemporaryDir dir_;
    QString linkPath_;
};

// Handles events of the test thread until done() holds; false when the patience ran out.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds patience = kPatience);
// Handles every event already posted, without waiting for new ones.
void ProcessPendingEvents();

// A path where no device is; of this process alone, since the serial layer locks a device by
// its name before it opens it.
QString MissingDevice();

}  // namespace vantrel::testing
