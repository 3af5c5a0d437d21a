// Text for the tool's output and arguments: UTF-8 and UTF-16 conversion, hexadecimal bytes,
// stored times, and file paths built from UTF-8 or UTF-16 names on every platform.
#ifndef MIVRA_TOOLS_MIVRACTL_TEXT_FORMAT_H_
#define MIVRA_TOOLS_MIVRACTL_TEXT_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "update/frame/system_time.h"

namespace mivra::ctl {

// Unpaired surrogates and malformed UTF-8 become U+FFFD, so any stored name can be shown.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

std::filesystem::path PathFromUtf8(const std::string& text);
std::filesystem::path PathFromUtf16(std::u16string_view text);
std::string PathToUtf8(const std::filesystem::path& path);

// Lower-case hexadecimal digits of every byte, no separators.
std::string HexBytes(const uint8_t* bytes, size_t length);
// "0x" and eight lower-case hexadecimal digits.
std::string Hex32(uint32_t value);

// "YYYY-MM-DDTHH:MM:SS.mmm" as stored (no time zone is kept); "-" for an all-zero time, which the
// records hold for files that did not exist.
std::string FormatSystemTime(const SystemTime16& time);

// "1 record", "2 records".
std::string CountOf(uint64_t count, const char* singular, const char* plural);

// A row value: quoted with backslash escapes when it is empty or holds a space, quote or '='.
std::string RowValue(const std::string& text);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_TEXT_FORMAT_H_
