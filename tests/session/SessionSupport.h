#pragma once

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/HeadlessSession.h"

namespace vantrel::testing {

inline constexpr std::uint32_t kFlashBase = 0x00C10000;

// Bytes that differ from their neighbours and from an erased flash.
std::vector<std::uint8_t> FirmwarePattern(std::size_t size);

// A ROM file of S3 records in a directory of its own.
class RomFixture {
  public:
    explicit RomFixture(std::vector<std::uint8_t> image, std::uint32_t base = kFlashBase);
    const std::string& Path() const { return path_; }
    const std::vector<std::uint8_t>& Image() const { return image_; }

  private:
    QTemporaryDir dir_;
    std::vector<std::uint8_t> image_;
    std::string path_;
};

// Hang protection for a whole run: asks the session to stop when the patience runs out.
class Watchdog {
  public:
    Watchdog(HeadlessSession& session, std::chrono::seconds patience);
    ~Watchdog();
    bool Fired() const { return fired_; }

  private:
    std::mutex mutex_;
    std::condition_variable cancelled_;
    bool cancel_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

}  // namespace vantrel::testing
