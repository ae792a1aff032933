#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel {

inline constexpr std::size_t kRomImageCapacity = 655360;   // 640 KiB
inline constexpr std::size_t kDemonImageCapacity = 12288;  // 12 KiB

// Fixed image buffers; they live as long as their owner and are never reallocated.
using RomImage = std::array<std::uint8_t, kRomImageCapacity>;
using DemonImage = std::array<std::uint8_t, kDemonImageCapacity>;

}  // namespace vantrel
