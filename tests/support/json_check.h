// A strict reader of JSON text for tests: one value, the grammar of RFC 8259 and nothing more (no
// trailing commas, no comments, no control characters in strings, no repeated keys), read into a
// small tree that tests can look into.
#ifndef MIVRA_TESTS_SUPPORT_JSON_CHECK_H_
#define MIVRA_TESTS_SUPPORT_JSON_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mivra_test {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;  // a string's value (UTF-8), or a number as written
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;  // in their order

  // The member `key` of an object; null when there is none or this is not an object.
  const JsonValue* Find(const std::string& key) const;
  bool Is(Kind k) const { return kind == k; }
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

inline const JsonValue* JsonValue::Find(const std::string& key) const {
  if (kind != Kind::kObject) return nullptr;
  for (const JsonMember& member : members) {
    if (member.key == key) return &member.value;
  }
  return nullptr;
}

// Member `key` as one string to compare: a string's or a number's text, "true" or "false", "null",
// "[array]", "{object}", or "<missing>".
inline std::string MemberText(const JsonValue& object, const std::string& key) {
  const JsonValue* member = object.Find(key);
  if (!member) return "<missing>";
  switch (member->kind) {
    case JsonValue::Kind::kNull: return "null";
    case JsonValue::Kind::kBool: return member->boolean ? "true" : "false";
    case JsonValue::Kind::kArray: return "[array]";
    case JsonValue::Kind::kObject: return "{object}";
    case JsonValue::Kind::kNumber:
    case JsonValue::Kind::kString: break;
  }
  return member->text;
}

namespace json_detail {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool ReadDocument(JsonValue* value, std::string* error) {
    SkipSpace();
    if (!ReadValue(value, 0)) return Fail(error);
    SkipSpace();
    if (at_ != text_.size()) {
      problem_ = "text after the value";
      return Fail(error);
    }
    return true;
  }

 private:
  bool Fail(std::string* error) {
    if (error) *error = problem_ + " at byte " + std::to_string(at_);
    return false;
  }
  bool Problem(const char* what) {
    problem_ = what;
    return false;
  }
  void SkipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return Problem("not a JSON value");
    at_ += word.size();
    return true;
  }

  bool ReadValue(JsonValue* value, int depth) {
    if (depth > 200) return Problem("nested too deeply");
    if (at_ == text_.size()) return Problem("the text ends where a value should be");
    switch (text_[at_]) {
      case '{': return ReadObject(value, depth);
      case '[': return ReadArray(value, depth);
      case '"': value->kind = JsonValue::Kind::kString; return ReadString(&value->text);
      case 't': value->kind = JsonValue::Kind::kBool; value->boolean = true; return Literal("true");
      case 'f': value->kind = JsonValue::Kind::kBool; value->boolean = false; return Literal("false");
      case 'n': value->kind = JsonValue::Kind::kNull; return Literal("null");
      default: value->kind = JsonValue::Kind::kNumber; return ReadNumber(&value->text);
    }
  }

  bool ReadObject(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::kObject;
    ++at_;
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      return true;
    }
    while (true) {
      SkipSpace();
      if (at_ == text_.size() || text_[at_] != '"') return Problem("a member's key must be a string");
      std::string key;
      if (!ReadString(&key)) return false;
      if (value->Find(key)) return Problem("a key is repeated");
      SkipSpace();
      if (at_ == text_.size() || text_[at_] != ':') return Problem("':' missing after a key");
      ++at_;
      SkipSpace();
      JsonValue member;
      if (!ReadValue(&member, depth + 1)) return false;
      value->members.push_back(JsonMember{std::move(key), std::move(member)});
      SkipSpace();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == '}') {
        ++at_;
        return true;
      }
      return Problem("',' or '}' expected in an object");
    }
  }

  bool ReadArray(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::kArray;
    ++at_;
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      return true;
    }
    while (true) {
      SkipSpace();
      JsonValue item;
      if (!ReadValue(&item, depth + 1)) return false;
      value->items.push_back(std::move(item));
      SkipSpace();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == ']') {
        ++at_;
        return true;
      }
      return Problem("',' or ']' expected in an array");
    }
  }

  static void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (code >> 6)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (code >> 12)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (code >> 18)));
      out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  bool ReadHex4(uint32_t* code) {
    if (text_.size() - at_ < 4) return Problem("\\u needs four hexadecimal digits");
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return Problem("\\u needs four hexadecimal digits");
      }
      *code = *code * 16 + digit;
    }
    return true;
  }

  bool ReadString(std::string* out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return Problem("a control character stands unescaped in a string");
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (at_ == text_.size()) break;
      const char escape = text_[at_++];
      switch (escape) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case '/': out->push_back('/'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t code = 0;
          if (!ReadHex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") return Problem("a high surrogate without its low one");
            at_ += 2;
            if (!ReadHex4(&low)) return false;
            if (low < 0xDC00 || low >= 0xE000) return Problem("a high surrogate without its low one");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            return Problem("a low surrogate alone");
          }
          AppendUtf8(code, out);
          break;
        }
        default: return Problem("an unknown escape in a string");
      }
    }
    return Problem("a string is not closed");
  }

  bool Digits() {
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool ReadNumber(std::string* out) {
    const size_t start = at_;
    if (text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else if (!Digits()) {
      return Problem("not a JSON value");
    }
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (!Digits()) return Problem("digits expected after '.'");
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!Digits()) return Problem("digits expected in an exponent");
    }
    *out = std::string(text_.substr(start, at_ - start));
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
  std::string problem_;
};

}  // namespace json_detail

// Reads `text` as exactly one JSON value, with nothing but white space around it; false with
// `error` saying what and where otherwise.
inline bool ParseJson(std::string_view text, JsonValue* value, std::string* error) {
  *value = JsonValue();
  return json_detail::Reader(text).ReadDocument(value, error);
}

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_JSON_CHECK_H_
