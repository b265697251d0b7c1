// Four-character codes: the first character is the most significant byte, as
// the codes are compared and stored everywhere (events, tags, chunk types).
#pragma once
#include <cstdint>

namespace kiv {

constexpr uint32_t fourcc(const char (&s)[5])
{
    return (static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3]));
}

}  // namespace kiv

using kiv::fourcc;
