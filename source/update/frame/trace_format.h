// The trace's line format, shared by the library that writes it and the tools that read it.
//
// One event per line, UTF-8, ended by "\n". A line is a sequence of fields "key=value" separated
// by single spaces; keys are lower-case ASCII words. A value is UTF-8 text in which every byte
// that would break the line apart is written as "%" and two upper-case hex digits: the bytes 0x00
// to 0x20 (the controls and the space), 0x7F, '"' and '%' itself. Nothing else is escaped, so a
// path such as C:\Program Files\a"b reads C:\Program%20Files\a%22b, and a reader splits the line
// at spaces, each field at its first '=', and decodes the "%XX" sequences. An empty value is
// written as "key=".
#ifndef MIVRA_UPDATE_FRAME_TRACE_FORMAT_H_
#define MIVRA_UPDATE_FRAME_TRACE_FORMAT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mivra {

// Past this size the trace is moved aside to "<name>.1" and started again.
inline constexpr size_t kTraceFileLimit = 16u * 1024u * 1024u;

// Appends " key=value" (no space before the first field of a line), escaping the value.
void AppendTraceField(std::string& line, std::string_view key, std::string_view value);

std::string EscapeTraceValue(std::string_view value);
// A '%' not followed by two hex digits stands for itself.
std::string UnescapeTraceValue(std::string_view text);

struct TraceField {
  std::string key;
  std::string value;  // decoded
};

// The fields of one line in their order; a trailing "\r" and empty fields are ignored, and a field
// without '=' has an empty value.
std::vector<TraceField> ParseTraceLine(std::string_view line);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_TRACE_FORMAT_H_
