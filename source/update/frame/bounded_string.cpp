#include "update/frame/bounded_string.h"

#include <cwchar>

namespace mivra {
namespace {

template <typename Char>
bool CopyInto(Char* dest, size_t capacity, std::basic_string_view<Char> source) {
  if (!dest || capacity == 0 || capacity > kMaxBoundedCapacity) return false;
  const bool fits = source.size() < capacity;
  const size_t count = fits ? source.size() : capacity - 1;
  for (size_t i = 0; i < count; ++i) dest[i] = source[i];
  dest[count] = Char{0};
  return fits;
}

}  // namespace

bool BoundedCopy(wchar_t* dest, size_t capacity, std::wstring_view source) {
  return CopyInto(dest, capacity, source);
}

bool BoundedCopy(char* dest, size_t capacity, std::string_view source) {
  return CopyInto(dest, capacity, source);
}

bool BoundedAppend(wchar_t* dest, size_t capacity, std::wstring_view source) {
  if (!dest || capacity == 0 || capacity > kMaxBoundedCapacity) return false;
  size_t length = 0;
  while (length < capacity && dest[length] != L'\0') ++length;
  if (length == capacity) return false;
  return CopyInto(dest + length, capacity - length, source);
}

bool BoundedConcat(wchar_t* dest, size_t capacity, std::initializer_list<std::wstring_view> parts) {
  if (!dest || capacity == 0 || capacity > kMaxBoundedCapacity) return false;
  dest[0] = L'\0';
  size_t length = 0;
  for (std::wstring_view part : parts) {
    if (!CopyInto(dest + length, capacity - length, part)) return false;
    length += part.size();
  }
  return true;
}

HexDigits FormatHex(uint32_t value, int width, bool upperCase) {
  const wchar_t* digits = upperCase ? L"0123456789ABCDEF" : L"0123456789abcdef";
  HexDigits out{};
  int count = 0;
  wchar_t reversed[8];
  do {
    reversed[count++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0 && count < 8);
  while (count < width && count < 8) reversed[count++] = L'0';
  for (int i = 0; i < count; ++i) out.text[i] = reversed[count - 1 - i];
  out.text[count] = L'\0';
  return out;
}

}  // namespace mivra
