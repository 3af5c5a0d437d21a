// Bounded composition of paths and names into fixed buffers. A result that does not fit is
// truncated and terminated, and reported as a failure that the caller makes its own; nothing is
// ever silently cut.
#ifndef MIVRA_UPDATE_FRAME_BOUNDED_STRING_H_
#define MIVRA_UPDATE_FRAME_BOUNDED_STRING_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace mivra {

// Every path the library composes lives in a buffer of this many wide characters, NUL included.
inline constexpr size_t kPathCapacity = 260;

// Largest capacity accepted, as for the system's bounded string functions.
inline constexpr size_t kMaxBoundedCapacity = 0x7FFFFFFF;

// Copies `source` into `dest`. False when the capacity is 0 or too large, or when it does not fit
// (then `dest` holds the truncated, terminated text).
bool BoundedCopy(wchar_t* dest, size_t capacity, std::wstring_view source);
bool BoundedCopy(char* dest, size_t capacity, std::string_view source);

// Appends `source` to the NUL-terminated text in `dest`. Also false when `dest` holds no NUL
// within its capacity.
bool BoundedAppend(wchar_t* dest, size_t capacity, std::wstring_view source);

// Writes the concatenation of `parts` into `dest`, as a "%s%s..." format would.
bool BoundedConcat(wchar_t* dest, size_t capacity, std::initializer_list<std::wstring_view> parts);

template <size_t N>
bool BoundedCopy(wchar_t (&dest)[N], std::wstring_view source) {
  return BoundedCopy(dest, N, source);
}
template <size_t N>
bool BoundedCopy(char (&dest)[N], std::string_view source) {
  return BoundedCopy(dest, N, source);
}
template <size_t N>
bool BoundedAppend(wchar_t (&dest)[N], std::wstring_view source) {
  return BoundedAppend(dest, N, source);
}
template <size_t N>
bool BoundedConcat(wchar_t (&dest)[N], std::initializer_list<std::wstring_view> parts) {
  return BoundedConcat(dest, N, parts);
}

// Joins a folder and a name with one backslash between them ("%s\%s").
template <size_t N>
bool JoinPath(wchar_t (&dest)[N], std::wstring_view folder, std::wstring_view name) {
  return BoundedConcat(dest, N, {folder, L"\\", name});
}

// Upper- or lower-case hexadecimal digits of `value`, zero-padded to `width` digits (at most 8),
// for names such as "%06X" and "%08x".
struct HexDigits {
  wchar_t text[9];
  std::wstring_view view() const { return text; }
};
HexDigits FormatHex(uint32_t value, int width, bool upperCase);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_BOUNDED_STRING_H_
