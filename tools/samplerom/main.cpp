// Writes a sample ROM file: S3 records of a recognisable byte pattern, for demos and trials.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/SRecordWriter.h"

namespace {

void Usage() {
    std::cout << "usage: vantrel-samplerom [--size BYTES] [--base HEX] FILE\n"
                 "Writes BYTES bytes (default 16384) of a test pattern as S3 records at\n"
                 "address HEX (default 00C10000) to FILE.\n";
}

bool ParseNumber(std::string_view text, int base, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtoul(copy.c_str(), &end, base);
    return end != nullptr && *end == '\0';
}

}  // namespace

int main(int argc, char* argv[]) {
    unsigned long size = 16 * 1024;
    unsigned long base = 0x00C10000;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        }
        if ((arg == "--size" || arg == "--base") && i + 1 < argc) {
            const bool ok = arg == "--size" ? ParseNumber(argv[++i], 10, size)
                                            : ParseNumber(argv[++i], 16, base);
            if (!ok) {
                std::cerr << "vantrel-samplerom: bad number for " << arg << "\n";
                return 2;
            }
            continue;
        }
        if (!arg.empty() && arg.front() == '-') {
            std::cerr << "vantrel-samplerom: unknown option " << arg << "\n";
            Usage();
            return 2;
        }
        path = std::string(arg);
    }
    if (path.empty() || size == 0 || size > vantrel::kRomImageCapacity || base > 0xFFFFFFFFul) {
        Usage();
        return 2;
    }

    // Each byte differs from its neighbours and the pattern does not repeat every 256 bytes,
    // so a chunk in the wrong place shows in a unit's flash.
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + 1) & 0xFF);
    }
    try {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << vantrel::FormatS3Records(bytes, static_cast<std::uint32_t>(base));
        if (!out.flush()) {
            std::cerr << "vantrel-samplerom: cannot write " << path << "\n";
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "vantrel-samplerom: " << error.what() << "\n";
        return 1;
    }
    std::cout << path << ": " << size << " bytes at " << std::hex << base << "\n";
    return 0;
}
