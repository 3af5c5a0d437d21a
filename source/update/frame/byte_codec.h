// Little-endian fields and UTF-16 name fields of the library's files, the one codec every file
// layout uses. Byte-level code only: no platform calls, builds everywhere.
#ifndef MIVRA_UPDATE_FRAME_BYTE_CODEC_H_
#define MIVRA_UPDATE_FRAME_BYTE_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace mivra {

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ReadLe64(const uint8_t* p) { return ReadLe32(p) | (uint64_t{ReadLe32(p + 4)} << 32); }

inline void WriteLe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void WriteLe64(uint8_t* p, uint64_t value) {
  WriteLe32(p, static_cast<uint32_t>(value));
  WriteLe32(p + 4, static_cast<uint32_t>(value >> 32));
}

// A name field of `count` UTF-16 code units, stored little-endian. Every unit is kept, those past
// the terminating NUL included, so that a field read and written back is unchanged.
inline void ReadUtf16Units(const uint8_t* p, char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(ReadLe16(p + 2 * i));
}

inline void WriteUtf16Units(uint8_t* p, const char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i) WriteLe16(p + 2 * i, units[i]);
}

// The name a field holds: its units up to the first NUL, or all `count` of them without one.
inline std::u16string Utf16FieldName(const char16_t* units, size_t count) {
  size_t length = 0;
  while (length < count && units[length] != u'\0') ++length;
  return std::u16string(units, length);
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_BYTE_CODEC_H_
