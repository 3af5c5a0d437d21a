#include "update/frame/file_name.h"

#include <cwchar>
#include <cwctype>

namespace mivra {
namespace {

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

bool IsReservedDeviceName(std::wstring_view name) {
  // The device is named by the part before the first dot, trailing spaces ignored.
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (EqualsIgnoringCase(stem, device)) return true;
  }
  // COM and LPT take the digits 1 to 9 and the superscripts one, two and three.
  const auto isDeviceDigit = [](wchar_t c) {
    return (c >= L'1' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
  };
  if (stem.size() == 4 && isDeviceDigit(stem[3])) {
    const std::wstring_view prefix = stem.substr(0, 3);
    if (EqualsIgnoringCase(prefix, L"COM") || EqualsIgnoringCase(prefix, L"LPT")) return true;
  }
  return false;
}

}  // namespace

bool TakeFileName(const wchar_t* path, std::wstring_view* name) {
  if (!path || !name) return false;
  const wchar_t* last = std::wcsrchr(path, L'\\');
  if (!last) return false;
  *name = std::wstring_view(last + 1);
  return true;
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty()) return false;
  // A trailing dot or space is stripped by Windows: the name would open another file, and ".",
  // ".." or "..." the folder itself or its parent.
  if (name.back() == L'.' || name.back() == L' ') return false;
  if (name.find_first_of(L"\\/:*?<>|\"") != std::wstring_view::npos) return false;
  for (wchar_t c : name) {
    if (c < 0x20) return false;
  }
  return !IsReservedDeviceName(name);
}

}  // namespace mivra
