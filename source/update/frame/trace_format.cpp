#include "update/frame/trace_format.h"

namespace mivra {
namespace {

bool NeedsEscape(unsigned char byte) { return byte <= 0x20 || byte == 0x7F || byte == '"' || byte == '%'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EscapeTraceValue(std::string_view value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeTraceValue(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      plain += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

void AppendTraceField(std::string& line, std::string_view key, std::string_view value) {
  if (!line.empty()) line += ' ';
  line.append(key);
  line += '=';
  line += EscapeTraceValue(value);
}

std::vector<TraceField> ParseTraceLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<TraceField> fields;
  while (!line.empty()) {
    const size_t space = line.find(' ');
    const std::string_view token = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (token.empty()) continue;
    const size_t equals = token.find('=');
    if (equals == std::string_view::npos) {
      fields.push_back({std::string(token), std::string()});
    } else {
      fields.push_back({std::string(token.substr(0, equals)), UnescapeTraceValue(token.substr(equals + 1))});
    }
  }
  return fields;
}

}  // namespace mivra
