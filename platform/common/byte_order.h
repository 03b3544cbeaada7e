#pragma once
// Numbers stored with a fixed byte order in data files (Access pages, shapefile headers and
// records), read the same on any host.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvex::platform {

namespace byte_order_detail {
template <std::size_t kBytes>
struct Unsigned;
template <>
struct Unsigned<2> {
  using type = std::uint16_t;
};
template <>
struct Unsigned<4> {
  using type = std::uint32_t;
};
template <>
struct Unsigned<8> {
  using type = std::uint64_t;
};

template <class T, bool kBigEndian>
T read(const unsigned char* p) {
  using U = typename Unsigned<sizeof(T)>::type;
  U bits = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    const std::size_t at = kBigEndian ? i : sizeof(T) - 1 - i;
    bits = static_cast<U>((bits << 8) | p[at]);
  }
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
}  // namespace byte_order_detail

/// The T (an integer or floating-point type of 2, 4 or 8 bytes) stored least significant byte
/// first at `p`.
template <class T>
T readLittleEndian(const unsigned char* p) {
  return byte_order_detail::read<T, false>(p);
}

/// The T stored most significant byte first at `p`.
template <class T>
T readBigEndian(const unsigned char* p) {
  return byte_order_detail::read<T, true>(p);
}

}  // namespace orvex::platform
