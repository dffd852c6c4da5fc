#include "model/firmware_image.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "model/maintenance_state.h"

namespace sim::model {

namespace {

void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

unsigned long number(const char* text, unsigned long max, const char* what) {
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || v > max || *text == '-')
        throw std::invalid_argument(std::string(what) + " must be a number from 0 to " + std::to_string(max));
    return v;
}

}  // namespace

std::vector<uint8_t> makeFirmwareImage(uint8_t kind, uint8_t major, uint8_t minor, const std::string& build,
                                       const std::string& date, uint32_t size) {
    if (size < kFirmwareHeaderSize) size = kFirmwareHeaderSize;
    std::vector<uint8_t> image(size, 0);
    std::memcpy(image.data(), kFirmwareMagic, sizeof kFirmwareMagic);
    image[8] = kind;
    image[9] = major;
    image[10] = minor;
    for (size_t i = 0; i < 4; ++i) image[12 + i] = i < build.size() ? static_cast<uint8_t>(build[i]) : ' ';
    for (size_t i = 0; i < 16 && i < date.size(); ++i) image[16 + i] = static_cast<uint8_t>(date[i]);
    putLe32(image, 32, size);
    uint32_t sum = 0;
    for (size_t i = kFirmwareHeaderSize; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 9));
        sum += image[i];
    }
    putLe32(image, 36, sum);
    return image;
}

int firmwareImageCommand(int argc, char** argv) {
    try {
        if (argc < 6 || argc > 7)
            throw std::invalid_argument("usage: tolvo-sim firmware-image OUT controller|driveio MAJOR.MINOR BUILD SIZE [DATE]");
        const std::string kindText = argv[2];
        if (kindText != "controller" && kindText != "driveio")
            throw std::invalid_argument("the kind is controller or driveio");
        const std::string version = argv[3];
        const auto dot = version.find('.');
        if (dot == std::string::npos) throw std::invalid_argument("the version is MAJOR.MINOR");
        const auto major = number(version.substr(0, dot).c_str(), 255, "MAJOR");
        const auto minor = number(version.substr(dot + 1).c_str(), 255, "MINOR");
        const std::string build = argv[4];
        if (build.size() != 4) throw std::invalid_argument("BUILD is 4 characters");
        const auto size = number(argv[5], kMaxFirmwareImageBytes, "SIZE");
        const std::string date = argc == 7 ? argv[6] : "Dec 01 2026";
        auto image = makeFirmwareImage(kindText == "controller" ? 1 : 2, static_cast<uint8_t>(major),
                                       static_cast<uint8_t>(minor), build, date, static_cast<uint32_t>(size));
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) throw std::runtime_error(std::string(argv[1]) + ": write failed");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvo-sim: %s\n", e.what());
        return 2;
    }
}

}  // namespace sim::model
