#include "text_format.h"

#include <cstdio>

namespace mivra::ctl {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(char32_t c, std::u16string* out) {
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      c = lead & 0x07;
    }
    bool ok = length > 0 && i + length <= text.size();
    for (size_t k = 1; ok && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are refused like any malformed byte.
    static constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (c < kMinimum[length] || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))) ok = false;
    if (!ok) {
      AppendUtf16(kReplacement, &out);
      ++i;
      continue;
    }
    AppendUtf16(c, &out);
    i += length;
  }
  return out;
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::filesystem::path PathFromUtf16(std::u16string_view text) { return PathFromUtf8(Utf16ToUtf8(text)); }

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string HexBytes(const uint8_t* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return out;
}

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned>(value));
  return text;
}

std::string FormatSystemTime(const SystemTime16& time) {
  if (time == SystemTime16{}) return "-";
  char text[48];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03u", time.year, time.month, time.day, time.hour,
                time.minute, time.second, time.milliseconds);
  return text;
}

std::string CountOf(uint64_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

std::string RowValue(const std::string& text) {
  bool quote = text.empty();
  for (char c : text) quote = quote || c == ' ' || c == '"' || c == '=' || c == '\\' || c == '\t';
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace mivra::ctl
