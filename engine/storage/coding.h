// Byte encoding of the engine's files. Every multi-byte value that is read
// from or written to a table file goes through these helpers, which copy
// with memcpy and never cast a structure onto a buffer.
//
// Table files are little-endian; index keys are big-endian so that their
// bytes compare in the order of the values.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kura {

static_assert(std::endian::native == std::endian::little,
              "the engine's files are little-endian and are encoded by copying");

// ---- little-endian ----------------------------------------------------------

inline void PutFixed16LE(std::uint8_t* dst, std::uint16_t v) { std::memcpy(dst, &v, 2); }
inline void PutFixed32LE(std::uint8_t* dst, std::uint32_t v) { std::memcpy(dst, &v, 4); }
inline void PutFixed64LE(std::uint8_t* dst, std::uint64_t v) { std::memcpy(dst, &v, 8); }

inline std::uint16_t GetFixed16LE(const std::uint8_t* src) {
  std::uint16_t v;
  std::memcpy(&v, src, 2);
  return v;
}
inline std::uint32_t GetFixed32LE(const std::uint8_t* src) {
  std::uint32_t v;
  std::memcpy(&v, src, 4);
  return v;
}
inline std::uint64_t GetFixed64LE(const std::uint8_t* src) {
  std::uint64_t v;
  std::memcpy(&v, src, 8);
  return v;
}

inline void PutInt16LE(std::uint8_t* dst, std::int16_t v) { std::memcpy(dst, &v, 2); }
inline void PutInt32LE(std::uint8_t* dst, std::int32_t v) { std::memcpy(dst, &v, 4); }
inline void PutInt64LE(std::uint8_t* dst, std::int64_t v) { std::memcpy(dst, &v, 8); }
inline void PutDoubleLE(std::uint8_t* dst, double v) { std::memcpy(dst, &v, 8); }

inline std::int16_t GetInt16LE(const std::uint8_t* src) {
  std::int16_t v;
  std::memcpy(&v, src, 2);
  return v;
}
inline std::int32_t GetInt32LE(const std::uint8_t* src) {
  std::int32_t v;
  std::memcpy(&v, src, 4);
  return v;
}
inline std::int64_t GetInt64LE(const std::uint8_t* src) {
  std::int64_t v;
  std::memcpy(&v, src, 8);
  return v;
}
inline double GetDoubleLE(const std::uint8_t* src) {
  double v;
  std::memcpy(&v, src, 8);
  return v;
}

// ---- big-endian (index keys) -------------------------------------------------

inline std::uint16_t ByteSwap(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t ByteSwap(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t ByteSwap(std::uint64_t v) { return __builtin_bswap64(v); }

inline void PutFixed16BE(std::uint8_t* dst, std::uint16_t v) {
  v = ByteSwap(v);
  std::memcpy(dst, &v, 2);
}
inline void PutFixed32BE(std::uint8_t* dst, std::uint32_t v) {
  v = ByteSwap(v);
  std::memcpy(dst, &v, 4);
}
inline void PutFixed64BE(std::uint8_t* dst, std::uint64_t v) {
  v = ByteSwap(v);
  std::memcpy(dst, &v, 8);
}
inline std::uint16_t GetFixed16BE(const std::uint8_t* src) {
  return ByteSwap(GetFixed16LE(src));
}
inline std::uint32_t GetFixed32BE(const std::uint8_t* src) {
  return ByteSwap(GetFixed32LE(src));
}
inline std::uint64_t GetFixed64BE(const std::uint8_t* src) {
  return ByteSwap(GetFixed64LE(src));
}

// ---- String[n]: one length byte followed by n character bytes ----------------

// Writes `s` as String[n] at dst (n + 1 bytes): the length byte, the
// characters, zero bytes after them. A longer `s` is cut to n characters.
inline void PutShortString(std::uint8_t* dst, std::size_t n, std::string_view s) {
  const std::size_t len = std::min(s.size(), std::min<std::size_t>(n, 255));
  dst[0] = static_cast<std::uint8_t>(len);
  std::memcpy(dst + 1, s.data(), len);
  std::memset(dst + 1 + len, 0, n - len);
}

// Reads String[n] at src. A length byte above n (a damaged file) is clamped
// to n, so the read never leaves the n + 1 bytes.
inline std::string GetShortString(const std::uint8_t* src, std::size_t n) {
  const std::size_t len = std::min<std::size_t>(src[0], n);
  return std::string(reinterpret_cast<const char*>(src + 1), len);
}

}  // namespace kura
