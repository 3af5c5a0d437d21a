// What a subcommand found, kept in order, so that one result prints either as stable text lines
// for a person or as JSON for a program.
//
// Text: every scalar member is one "key: value" line (nested objects join their keys with dots);
// a check prints "ok", "bad" or "not checked" with its detail in brackets; a list prints the text
// line given with each item. JSON: objects, arrays, strings, numbers, booleans and null; a check is
// {"state": "ok" | "bad" | "not checked", "detail": "..."}. A yes-or-no answer is a boolean in JSON
// whatever its words in text.
#ifndef MIVRA_TOOLS_MIVRACTL_REPORT_H_
#define MIVRA_TOOLS_MIVRACTL_REPORT_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mivra::ctl {

enum class CheckState { kOk, kBad, kNotChecked };

class Report {
 public:
  static Report Text(std::string text);
  // A file path: in text in double quotes when it is empty or holds a space or a quote (so that
  // it can be copied as one argument), in JSON a plain string.
  static Report Path(std::string path);
  static Report Number(uint64_t value);
  static Report Flag(bool value);  // text: yes / no
  // A boolean whose text names what it means ("on" / "off", "usable" / "none (...)").
  static Report Flag(bool value, std::string yesText, std::string noText);
  static Report Null(std::string text);  // JSON null; text: the given word ("none", "unresolved")
  static Report Check(CheckState state, std::string detail = std::string());
  static Report Object();
  static Report List();
  // Words that belong together: in JSON an array of strings, in text one line of them joined by
  // `separator` ("tests: interrupted, changed").
  static Report Words(const std::vector<std::string>& words, std::string separator = ", ");

  // Object members, in the order they are set; setting a key again replaces its value in place.
  Report& Set(const std::string& key, Report value);
  // List items: the structured item for JSON and its line for text.
  Report& Append(Report item, std::string textLine);

  // Appends the members of another object, in its order.
  Report& Merge(Report other);

  const Report* Find(const std::string& key) const;

 private:
  enum class Kind { kText, kNumber, kFlag, kNull, kCheck, kObject, kList };
  friend void RenderTextTo(const Report& report, const std::string& prefix, std::string* out);
  friend void RenderJsonTo(const Report& report, int depth, std::string* out);

  Kind kind_ = Kind::kObject;
  std::string text_;  // text, check detail, the word of a null, the word of a false flag
  std::string yesText_;  // the word of a true flag
  bool quoteInText_ = false;
  bool joinInText_ = false;  // a list of words: one text line, its items joined by text_
  uint64_t number_ = 0;
  bool flag_ = false;
  CheckState check_ = CheckState::kOk;
  std::vector<std::pair<std::string, Report>> members_;
  std::vector<std::pair<Report, std::string>> items_;
};

std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);

// A path as a person copies it into a command line: in double quotes (embedded quotes escaped)
// when it is empty or holds a space or a quote, else as it is.
std::string QuotedPath(const std::string& path);

// A JSON string literal of UTF-8 text, quotes included.
std::string JsonQuote(const std::string& text);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_REPORT_H_
