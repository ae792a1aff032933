#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace vantrel {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open ROM file; closed when it goes.
using RomFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the file for reading as bytes; empty when it cannot be opened.
inline RomFile OpenRomFileForReading(const std::string& path) {
    return RomFile(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
}

}  // namespace vantrel
