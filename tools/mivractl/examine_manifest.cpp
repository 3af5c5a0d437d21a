#include "examine_manifest.h"

#include <cstdio>
#include <map>
#include <string>

#include "text_format.h"
#include "update/manifest/component_list_parser.h"
#include "update/manifest/config_link_list.h"
#include "update/manifest/update_config_parser.h"

namespace mivra::ctl {
namespace {

std::string PrintableOrHex(const uint8_t* bytes, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) return HexBytes(bytes, length);
    text.push_back(static_cast<char>(bytes[i]));
  }
  return text;
}

// The list file a configuration record names, as the name collection forms it.
std::string ListFileName(uint32_t recordId) {
  char name[32];
  std::snprintf(name, sizeof(name), "%08x_compns.lst", static_cast<unsigned>(recordId));
  return name;
}

// The reader stops at its first failing step; the steps after it are not reached.
Report HeaderCheck(UpdateConfigStep failed, UpdateConfigStep step, const std::string& detail,
                   const std::string& okDetail = std::string()) {
  static constexpr UpdateConfigStep kOrder[] = {UpdateConfigStep::kMagic, UpdateConfigStep::kRecordCount,
                                                UpdateConfigStep::kLength};
  if (failed == step) return Report::Check(CheckState::kBad, detail);
  for (UpdateConfigStep earlier : kOrder) {
    if (earlier == step) break;
    if (earlier == failed) return Report::Check(CheckState::kNotChecked, "the reader stops before it");
  }
  return Report::Check(CheckState::kOk, okDetail);
}

}  // namespace

Inspection InspectUpdateConfig(const std::vector<uint8_t>& bytes) {
  Inspection result;
  Report& report = result.report;
  const uint8_t* data = bytes.data();
  const size_t size = bytes.size();

  cLinkList chain;
  const UpdateConfigStatus status = ParseUpdateConfig(data, size, &chain);
  result.verdict = status.ok() ? Verdict::kValid : Verdict::kInvalid;

  Report header = Report::Object();
  Report checks = Report::Object();
  if (size < kUpdateConfigHeaderSize) {
    header.Set("magic", Report::Text(PrintableOrHex(data, size < 4 ? size : 4)));
    const std::string shortFile = "the file ends at byte " + std::to_string(size) + ", inside the 12-byte header";
    for (const char* name : {"magic", "recordCount", "length", "checksum"}) {
      checks.Set(name, Report::Check(CheckState::kNotChecked, shortFile));
    }
  } else {
    const UpdateConfigHeaderFields fields = PeekUpdateConfigHeader(data);
    header.Set("magic", Report::Text(PrintableOrHex(fields.magic, sizeof(fields.magic))))
        .Set("checksum", Report::Text(Hex32(fields.checksum)))
        .Set("recordCount", Report::Number(fields.recordCount));
    const uint64_t expected = kUpdateConfigHeaderSize + uint64_t{fields.recordCount} * kUpdateConfigRecordSize;
    checks.Set("magic", HeaderCheck(status.step, UpdateConfigStep::kMagic, "expected UPCN"));
    checks.Set("recordCount", HeaderCheck(status.step, UpdateConfigStep::kRecordCount,
                                          std::to_string(fields.recordCount) + " is not between 1 and " +
                                              std::to_string(kUpdateConfigMaxRecords)));
    checks.Set("length", HeaderCheck(status.step, UpdateConfigStep::kLength,
                                     "the file is " + std::to_string(size) + " bytes, the count asks for " +
                                         std::to_string(expected)));
    // The checksum is shown over the record area as it stands, even when the reader would stop
    // before it.
    const UpdateConfigHeader announced{fields.checksum, fields.recordCount};
    const UpdateConfigStatus sum = CheckUpdateConfigArea(announced, data + kUpdateConfigHeaderSize,
                                                         size - kUpdateConfigHeaderSize);
    checks.Set("checksum", sum.ok() ? Report::Check(CheckState::kOk, Hex32(fields.checksum))
                                    : Report::Check(CheckState::kBad, "stored " + Hex32(sum.stored) + ", computed " +
                                                                          Hex32(sum.value)));
  }
  report.Set("header", std::move(header));
  report.Set("check", std::move(checks));
  report.Set("reader", Report::Text(status.ok() ? "ok" : "ReadUpdateConfigData: " + UpdateConfigMessage(status)));
  report.Set("verdict", Report::Text(VerdictName(result.verdict)));

  // Every whole record present, decoded by the parser one at a time, so that the records the
  // chain drops as duplicates show too.
  Report records = Report::List();
  const uint32_t announced = size >= kUpdateConfigHeaderSize ? PeekUpdateConfigHeader(data).recordCount : 0;
  const size_t present = size >= kUpdateConfigHeaderSize ? (size - kUpdateConfigHeaderSize) / kUpdateConfigRecordSize : 0;
  std::map<uint32_t, uint32_t> firstWithId;
  for (uint32_t i = 0; i < present; ++i) {
    cLinkList one;
    if (!AddUpdateConfigRecord(data + kUpdateConfigHeaderSize + size_t{i} * kUpdateConfigRecordSize, i, &one).ok()) {
      break;
    }
    const uint32_t id = one.head()->RecordId();
    const uint32_t enabled = one.head()->Enabled();
    Report item = Report::Object();
    item.Set("index", Report::Number(i))
        .Set("id", Report::Text(Hex32(id)))
        .Set("enabled", Report::Number(enabled))
        .Set("listFile", Report::Text(ListFileName(id)));
    std::string line = "record " + std::to_string(i) + ": id=" + Hex32(id) + " enabled=" + std::to_string(enabled) +
                       " list=" + ListFileName(id);
    const auto first = firstWithId.find(id);
    if (first != firstWithId.end()) {
      item.Set("duplicateOf", Report::Number(first->second));
      line += " duplicate-of=" + std::to_string(first->second);
    } else {
      firstWithId.emplace(id, i);
    }
    if (i >= announced) {
      item.Set("beyondCount", Report::Flag(true));
      line += " beyond-count";
    }
    records.Append(std::move(item), line);
  }
  report.Set("records", std::move(records));
  return result;
}

Inspection InspectComponentList(const std::vector<uint8_t>& bytes) {
  Inspection result;
  Report& report = result.report;
  ComponentEntries entries;
  const ComponentListCheck check = ExamineComponentList(bytes.data(), bytes.size(), &entries);
  result.verdict = check.valid() ? Verdict::kValid : Verdict::kInvalid;

  Report header = Report::Object();
  Report checks = Report::Object();
  const size_t magicBytes = bytes.size() < sizeof(kComponentListMagic) ? bytes.size() : sizeof(kComponentListMagic);
  header.Set("magic", Report::Text(PrintableOrHex(bytes.data(), magicBytes)));
  if (!check.headerComplete) {
    const std::string shortFile = "the file ends at byte " + std::to_string(bytes.size()) + ", inside the " +
                                  std::to_string(kComponentListHeaderSize) + "-byte header";
    for (const char* name : {"magic", "version", "company", "checksum", "entries"}) {
      checks.Set(name, Report::Check(CheckState::kNotChecked, shortFile));
    }
  } else {
    const std::string version = std::to_string(check.version[0]) + "." + std::to_string(check.version[1]);
    header.Set("version", Report::Text(version))
        .Set("checksum", Report::Text(Hex32(check.storedChecksum)))
        .Set("entryCount", Report::Number(check.entryCount));
    checks.Set("magic", check.magicMatches ? Report::Check(CheckState::kOk)
                                           : Report::Check(CheckState::kBad, "expected INXF"));
    checks.Set("version", check.versionMatches ? Report::Check(CheckState::kOk, version)
                                               : Report::Check(CheckState::kBad, version + ", expected 1.1"));
    checks.Set("company", check.companyMatches ? Report::Check(CheckState::kOk)
                                               : Report::Check(CheckState::kBad, "not the product's company string"));
    checks.Set("checksum", check.checksumMatches()
                               ? Report::Check(CheckState::kOk, Hex32(check.computedChecksum))
                               : Report::Check(CheckState::kBad, "stored " + Hex32(check.storedChecksum) +
                                                                     ", computed " + Hex32(check.computedChecksum)));
    if (check.allocationFailed) {
      checks.Set("entries", Report::Check(CheckState::kNotChecked, "no memory for the entries"));
    } else if (check.entriesDecoded < check.entryCount) {
      checks.Set("entries", Report::Check(CheckState::kBad, "entry " + std::to_string(check.entriesDecoded) + " of " +
                                                                std::to_string(check.entryCount) +
                                                                " runs past the end of the file or its name does "
                                                                "not fit"));
    } else {
      std::string detail = CountOf(check.entryCount, "entry", "entries");
      const uint64_t unread = bytes.size() - check.endOfEntries;
      if (unread > 0) detail += "; " + CountOf(unread, "byte", "bytes") + " after the last entry not read";
      checks.Set("entries", Report::Check(CheckState::kOk, detail));
    }
  }
  report.Set("header", std::move(header));
  report.Set("check", std::move(checks));
  report.Set("verdict", Report::Text(VerdictName(result.verdict)));

  Report list = Report::List();
  for (uint32_t i = 0; i < entries.count(); ++i) {
    const uint32_t included = entries.Included(i);
    // Names are 8-bit text in the product's code page; bytes that are not UTF-8 show as U+FFFD.
    const std::string name = Utf16ToUtf8(Utf8ToUtf16(entries.Name(i)));
    Report item = Report::Object();
    item.Set("index", Report::Number(i)).Set("included", Report::Number(included)).Set("name", Report::Text(name));
    list.Append(std::move(item), "entry " + std::to_string(i) + ": included=" + std::to_string(included) +
                                     " name=" + RowValue(name));
  }
  report.Set("entries", std::move(list));
  return result;
}

}  // namespace mivra::ctl
