#include "protocol/InstanceId.h"

#include <array>
#include <cstdint>

namespace nelvo::cryptoplugin {

namespace {

std::array<std::uint8_t, 16> RandomBytes(std::random_device& random) {
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = random();
        for (std::size_t k = 0; k < 4; ++k) {
            bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
    }
    // Marked as a random (version 4, variant 1) GUID, as GUID readers expect.
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    return bytes;
}

}  // namespace

std::string NewInstanceId(std::random_device& random) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::array<std::uint8_t, 16> bytes = RandomBytes(random);
    std::string id = "{";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += kDigits[bytes[i] >> 4];
        id += kDigits[bytes[i] & 0x0F];
    }
    id += '}';
    return id;
}

}  // namespace nelvo::cryptoplugin
