#include "session/WatchedRom.h"

#include <QString>
#include <system_error>

#include "engine/LoaderState.h"
#include "session/FilePlan.h"

namespace vantrel {

std::optional<WatchedRom::Stamp> WatchedRom::StampOf(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    Stamp stamp{std::filesystem::file_size(file, error), {}};
    if (error) {
        return std::nullopt;
    }
    stamp.written = std::filesystem::last_write_time(file, error);
    if (error) {
        return std::nullopt;
    }
    return stamp;
}

WatchedRom::Look WatchedRom::Current() {
    // Stamped before the read: a file written during it is read again at the next look.
    const auto stamp = StampOf(request_.romPathText);
    if (read_ && stamp && stamp == stamp_) {
        Look same = last_;
        same.changed = false;
        return same;
    }
    stamp_ = stamp;
    read_ = true;
    const std::string before = last_.images ? last_.images->fileSha256 : std::string();
    const std::optional<std::string> refusedBefore =
        last_.refusal ? std::optional(last_.refusal->message) : std::nullopt;
    last_ = Read();
    if (last_.refusal) {
        last_.changed = refusedBefore != last_.refusal->message;
    } else {
        last_.changed = last_.images->fileSha256 != before || refusedBefore.has_value();
    }
    return last_;
}

WatchedRom::Look WatchedRom::Read() {
    // The buffers are a run's size; a scratch state holds them only while the file is read.
    auto scratch = std::make_unique<LoaderState>();
    const RomFile file = OpenRomForReading(QString::fromStdString(request_.romPathText));
    FilePlan planned = PlanFile(*scratch, file.get(), request_);
    Look look;
    if (auto* refusal = std::get_if<BatchRefusal>(&planned.plan)) {
        look.refusal = std::move(*refusal);
        return look;
    }
    auto images = std::make_shared<WatchedImages>();
    images->fileSha256 = planned.fileSha256;
    images->fileBytes = planned.fileBytes;
    images->plan = std::get<RunPlan>(planned.plan);
    images->demon.assign(
        scratch->DemonBuffer().begin(),
        scratch->DemonBuffer().begin() + static_cast<std::ptrdiff_t>(images->plan.demonSize));
    images->rom.assign(
        scratch->RomBuffer().begin(),
        scratch->RomBuffer().begin() + static_cast<std::ptrdiff_t>(images->plan.romSize));
    look.images = std::move(images);
    return look;
}

}  // namespace vantrel
