#include "tests/session/SessionSupport.h"

#include <fstream>
#include <stdexcept>

#include "image/SRecordWriter.h"

namespace vantrel::testing {

std::vector<std::uint8_t> FirmwarePattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 13 + i / 256 + 1) & 0x7F);
    }
    return bytes;
}

RomFixture::RomFixture(std::vector<std::uint8_t> image, std::uint32_t base)
    : image_(std::move(image)) {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary directory");
    }
    path_ = dir_.filePath("firmware.rom").toStdString();
    std::ofstream file(path_);
    file << FormatS3Records(image_, base);
    if (!file) {
        throw std::runtime_error("cannot write " + path_);
    }
}

Watchdog::Watchdog(HeadlessSession& session, std::chrono::seconds patience)
    : thread_([this, &session, patience] {
          std::unique_lock lock(mutex_);
          if (!cancelled_.wait_for(lock, patience, [this] { return cancel_; })) {
              fired_ = true;
              session.RequestStop();
          }
      }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    cancelled_.notify_all();
    thread_.join();
}

}  // namespace vantrel::testing
