#include "history/RecordId.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>

namespace padsmith::history {

std::string NewRecordId() {
    // The system's entropy (getrandom, or the Windows CRT's rand_s) seeds one generator per
    // process; the 128 bits of an ID are drawn under a lock, as several displays start at once.
    static std::mutex mutex;
    static std::mt19937_64 generator = [] {
        std::random_device entropy;
        std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy()};
        return std::mt19937_64(seed);
    }();
    std::array<uint8_t, 16> bytes{};
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (size_t i = 0; i < bytes.size(); i += 8) {
            uint64_t word = generator();
            for (size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9],
                  bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

}  // namespace padsmith::history
