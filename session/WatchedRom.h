#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/RunPlan.h"
#include "session/BatchTypes.h"

namespace vantrel {

// One version of the ROM file, prepared: what each port copies into its own buffers.
struct WatchedImages {
    std::string fileSha256;
    std::int64_t fileBytes = 0;
    RunPlan plan;
    std::vector<std::uint8_t> demon;
    std::vector<std::uint8_t> rom;
};

// The ROM file of a watch: read and checked once, and again whenever it has changed on the
// disk, so a rebuilt file is flashed from the next unit on and a broken one flashes nothing.
// UI thread.
class WatchedRom {
  public:
    struct Look {
        // The version to flash; nothing while the file on the disk is refused.
        std::shared_ptr<const WatchedImages> images;
        std::optional<BatchRefusal> refusal;
        bool changed = false;  // this look found a version not seen before
    };

    explicit WatchedRom(BatchRequest request) : request_(std::move(request)) {}

    // The file as it stands on the disk now; read again only when its size or time changed.
    Look Current();
    const BatchRequest& Request() const { return request_; }

  private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type written{};
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> StampOf(const std::string& path);
    Look Read();

    BatchRequest request_;
    std::optional<Stamp> stamp_;  // of the version last read
    bool read_ = false;
    Look last_;
};

}  // namespace vantrel
