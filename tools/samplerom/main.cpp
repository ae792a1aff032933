// Writes a sample ROM file: S3 records of a recognisable byte pattern, for demos and trials.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/SRecordWriter.h"

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes BYTES bytes (default 16384) of a test pattern as S3 "
        "records at address HEX (default 00C10000) to FILE.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption sizeOption("size", "How many bytes.", "BYTES", "16384");
    const QCommandLineOption baseOption("base", "The first byte's address.", "HEX", "00C10000");
    parser.addOptions({sizeOption, baseOption});
    parser.addPositionalArgument("FILE", "The S-record file to write.");
    if (!parser.parse(application.arguments())) {
        std::cerr << "vantrel-samplerom: " << parser.errorText().toStdString() << "\n";
        return 2;
    }
    if (parser.isSet(help)) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }

    bool sizeOk = false;
    bool baseOk = false;
    const qulonglong size = parser.value(sizeOption).toULongLong(&sizeOk, 10);
    const qulonglong base = parser.value(baseOption).toULongLong(&baseOk, 16);
    if (!sizeOk || size == 0 || size > vantrel::kRomImageCapacity || !baseOk ||
        base > 0xFFFFFFFFul || parser.positionalArguments().size() != 1) {
        std::cerr << "vantrel-samplerom: give one FILE, BYTES from 1 to "
                  << vantrel::kRomImageCapacity << " and HEX below 100000000\n";
        return 2;
    }
    const std::string path = parser.positionalArguments().front().toStdString();

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
