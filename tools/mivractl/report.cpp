#include "report.h"

#include <cstdio>

namespace mivra::ctl {

Report Report::Text(std::string text) {
  Report r;
  r.kind_ = Kind::kText;
  r.text_ = std::move(text);
  return r;
}

Report Report::Path(std::string path) {
  Report r = Text(std::move(path));
  r.quoteInText_ = true;
  return r;
}

Report Report::Number(uint64_t value) {
  Report r;
  r.kind_ = Kind::kNumber;
  r.number_ = value;
  return r;
}

Report Report::Flag(bool value) { return Flag(value, "yes", "no"); }

Report Report::Flag(bool value, std::string yesText, std::string noText) {
  Report r;
  r.kind_ = Kind::kFlag;
  r.flag_ = value;
  r.yesText_ = std::move(yesText);
  r.text_ = std::move(noText);
  return r;
}

Report Report::Null(std::string text) {
  Report r;
  r.kind_ = Kind::kNull;
  r.text_ = std::move(text);
  return r;
}

Report Report::Check(CheckState state, std::string detail) {
  Report r;
  r.kind_ = Kind::kCheck;
  r.check_ = state;
  r.text_ = std::move(detail);
  return r;
}

Report Report::Object() { return Report(); }

Report Report::List() {
  Report r;
  r.kind_ = Kind::kList;
  return r;
}

Report Report::Words(const std::vector<std::string>& words, std::string separator) {
  Report r = List();
  r.joinInText_ = true;
  r.text_ = std::move(separator);
  for (const std::string& word : words) r.items_.emplace_back(Text(word), word);
  return r;
}

Report& Report::Set(const std::string& key, Report value) {
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return *this;
    }
  }
  members_.emplace_back(key, std::move(value));
  return *this;
}

Report& Report::Append(Report item, std::string textLine) {
  items_.emplace_back(std::move(item), std::move(textLine));
  return *this;
}

Report& Report::Merge(Report other) {
  for (auto& member : other.members_) Set(member.first, std::move(member.second));
  return *this;
}

const Report* Report::Find(const std::string& key) const {
  for (const auto& member : members_) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

namespace {

const char* CheckWord(CheckState state) {
  switch (state) {
    case CheckState::kOk:
      return "ok";
    case CheckState::kBad:
      return "bad";
    case CheckState::kNotChecked:
      return "not checked";
  }
  return "";
}

void Indent(int depth, std::string* out) { out->append(static_cast<size_t>(depth) * 2, ' '); }

// An object or array of `count` entries, each on its own line one level deeper; an empty one
// stays on one line.
template <typename RenderEntry>
void RenderJsonBlock(size_t count, char open, char close, int depth, std::string* out, RenderEntry renderEntry) {
  out->push_back(open);
  if (count != 0) {
    out->push_back('\n');
    for (size_t i = 0; i < count; ++i) {
      Indent(depth + 1, out);
      renderEntry(i);
      *out += i + 1 < count ? ",\n" : "\n";
    }
    Indent(depth, out);
  }
  out->push_back(close);
}

}  // namespace

void RenderTextTo(const Report& report, const std::string& prefix, std::string* out) {
  switch (report.kind_) {
    case Report::Kind::kText:
      *out += prefix + ": " + (report.quoteInText_ ? QuotedPath(report.text_) : report.text_) + "\n";
      return;
    case Report::Kind::kNumber:
      *out += prefix + ": " + std::to_string(report.number_) + "\n";
      return;
    case Report::Kind::kFlag:
      *out += prefix + ": " + (report.flag_ ? report.yesText_ : report.text_) + "\n";
      return;
    case Report::Kind::kNull:
      *out += prefix + ": " + report.text_ + "\n";
      return;
    case Report::Kind::kCheck:
      *out += prefix + ": " + CheckWord(report.check_);
      if (!report.text_.empty()) *out += " (" + report.text_ + ")";
      *out += "\n";
      return;
    case Report::Kind::kObject:
      for (const auto& member : report.members_) {
        RenderTextTo(member.second, prefix.empty() ? member.first : prefix + "." + member.first, out);
      }
      return;
    case Report::Kind::kList:
      if (report.joinInText_) {
        *out += prefix + ":";
        for (size_t i = 0; i < report.items_.size(); ++i) *out += (i == 0 ? " " : report.text_) + report.items_[i].second;
        *out += "\n";
        return;
      }
      for (const auto& item : report.items_) *out += item.second + "\n";
      return;
  }
}

void RenderJsonTo(const Report& report, int depth, std::string* out) {
  switch (report.kind_) {
    case Report::Kind::kText:
      *out += JsonQuote(report.text_);
      return;
    case Report::Kind::kNumber:
      *out += std::to_string(report.number_);
      return;
    case Report::Kind::kFlag:
      *out += report.flag_ ? "true" : "false";
      return;
    case Report::Kind::kNull:
      *out += "null";
      return;
    case Report::Kind::kCheck:
      *out += "{\"state\": " + JsonQuote(CheckWord(report.check_)) + ", \"detail\": " + JsonQuote(report.text_) + "}";
      return;
    case Report::Kind::kObject:
      RenderJsonBlock(report.members_.size(), '{', '}', depth, out, [&](size_t i) {
        *out += JsonQuote(report.members_[i].first) + ": ";
        RenderJsonTo(report.members_[i].second, depth + 1, out);
      });
      return;
    case Report::Kind::kList:
      RenderJsonBlock(report.items_.size(), '[', ']', depth, out,
                      [&](size_t i) { RenderJsonTo(report.items_[i].first, depth + 1, out); });
      return;
  }
}

std::string RenderText(const Report& report) {
  std::string out;
  RenderTextTo(report, std::string(), &out);
  return out;
}

std::string RenderJson(const Report& report) {
  std::string out;
  RenderJsonTo(report, 0, &out);
  out += "\n";
  return out;
}

std::string QuotedPath(const std::string& path) {
  if (!path.empty() && path.find_first_of(" \"") == std::string::npos) return path;
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace mivra::ctl
