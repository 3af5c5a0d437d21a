#include "examine_metadata.h"

#include <string>

#include "file_bytes.h"
#include "text_format.h"
#include "update/backup/bk_record_layout.h"
#include "update/frame/file_name.h"
#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/metadata_format.h"

namespace mivra::ctl {
namespace {

// Six magic bytes as text, or in hexadecimal when they are not printable.
std::string MagicText(const uint8_t* bytes, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) return HexBytes(bytes, length);
    text.push_back(static_cast<char>(bytes[i]));
  }
  return text;
}

std::string CompanyText(const uint8_t* field) {
  std::string text;
  for (size_t i = 0; i < kCompanySize && field[i] != 0; ++i) text.push_back(static_cast<char>(field[i]));
  return text;
}

std::string RecordNameText(const char16_t* field) { return Utf16ToUtf8(RecordName(field)); }


// The header both files share, as stored.
Report HeaderReport(const MetadataFormat& format, const std::vector<uint8_t>& bytes) {
  const uint8_t* data = bytes.data();
  const size_t length = bytes.size();
  Report header = Report::Object();
  header.Set("magic", Report::Text(MagicText(data, length < kMagicSize ? length : kMagicSize)));
  if (length >= format.headerSize) {
    header.Set("version", Report::Number(data[kVersionOffset]));
    header.Set("company", Report::Text(CompanyText(data + kCompanyOffset)));
    header.Set("crc32", Report::Text(Hex32(ReadLe32(data + kHeaderCrcOffset))));
  }
  return header;
}

// The record store's checks, one line each.
Report CheckReport(const MetadataFormat& format, size_t length, const MetadataVerdict& v) {
  const std::string shortFile = "the file ends at byte " + std::to_string(length) + ", inside the " +
                                std::to_string(format.recordAreaOffset()) + "-byte header and state block";
  Report checks = Report::Object();
  checks.Set("magic", v.magicMatches ? Report::Check(CheckState::kOk)
                                     : Report::Check(CheckState::kBad, std::string("expected ") + format.magic));
  if (!v.headerComplete) {
    checks.Set("crc", Report::Check(CheckState::kNotChecked, shortFile));
    checks.Set("length", Report::Check(CheckState::kBad, shortFile));
    checks.Set("recordCount", Report::Check(CheckState::kNotChecked, shortFile));
    return checks;
  }
  checks.Set("crc", v.crcMatches ? Report::Check(CheckState::kOk, Hex32(v.computedCrc))
                                 : Report::Check(CheckState::kBad, "stored " + Hex32(v.storedCrc) + ", computed " +
                                                                       Hex32(v.computedCrc)));
  const uint64_t stray = length - format.recordAreaOffset() - v.recordsInFile * format.recordSize;
  checks.Set("length", v.lengthExact ? Report::Check(CheckState::kOk, CountOf(v.recordsInFile, "record", "records"))
                                     : Report::Check(CheckState::kBad,
                                                     CountOf(v.recordsInFile, "whole record", "whole records") +
                                                         " and " + CountOf(stray, "stray byte", "stray bytes")));
  checks.Set("recordCount",
             v.recordCount == v.recordsInFile
                 ? Report::Check(CheckState::kOk)
                 : Report::Check(CheckState::kBad, "the state block says " + std::to_string(v.recordCount) +
                                                       ", the file holds " + std::to_string(v.recordsInFile)));
  return checks;
}

void AddVerdict(Verdict verdict, Report* report) {
  report->Set("library", Report::Text(verdict == Verdict::kInvalid ? "discards the file (its next open deletes it)"
                                                                   : "accepts the file"));
  report->Set("verdict", Report::Text(VerdictName(verdict)));
}

// Checks one backup copy against its record; the word says what was found.
const char* CheckCopy(const BkMdataRecord& record, const std::filesystem::path& folder) {
  if (record.flags & (BKREC_REMOVED | BKREC_ABSENT)) return "not-kept";
  // Record names come from a file anyone can write: only a plain name is joined to the folder.
  if (!IsPlainFileName(RecordFieldName(record.fileName))) return "unsafe-name";
  const std::filesystem::path copy = folder / PathFromUtf8(RecordNameText(record.fileName));
  std::error_code error;
  if (!std::filesystem::is_regular_file(copy, error)) return "missing";
  uint8_t digest[16];
  if (!Md5OfFile(copy, digest)) return "unreadable";
  for (size_t i = 0; i < sizeof(digest); ++i) {
    if (digest[i] != record.digest[i]) return "differs";
  }
  return "ok";
}

// What both files' inspections open with: the verdict, the header, the state block (the record
// count, then what `addState` adds from the file's own block, once the header is whole) and the
// checks.
template <typename AddState>
MetadataVerdict InspectFileHead(const MetadataFormat& format, const std::vector<uint8_t>& bytes, Inspection* result,
                                AddState addState) {
  const MetadataVerdict v = ExamineMetadataFile(format, bytes.data(), bytes.size());
  result->verdict = JudgeMetadataFile(v);
  result->report.Set("header", HeaderReport(format, bytes));
  Report state = Report::Object();
  if (v.headerComplete) {
    state.Set("recordCount", Report::Number(v.recordCount));
    addState(&state);
  }
  result->report.Set("state", std::move(state));
  result->report.Set("check", CheckReport(format, bytes.size(), v));
  AddVerdict(result->verdict, &result->report);
  return v;
}

}  // namespace

std::vector<std::string> BkFlagWords(uint32_t flags) {
  std::vector<std::string> words;
  if (flags & BKREC_REMOVED) words.push_back("removed");
  if (flags & BKREC_ABSENT) words.push_back("absent");
  const uint32_t other = flags & ~(BKREC_REMOVED | BKREC_ABSENT);
  if (other) words.push_back(Hex32(other));
  return words;
}

std::string BkFlagNames(uint32_t flags) {
  std::string names;
  for (const std::string& word : BkFlagWords(flags)) names += (names.empty() ? "" : "|") + word;
  return names.empty() ? "none" : names;
}

Inspection InspectBkMdata(const std::vector<uint8_t>& bytes, const std::filesystem::path* copiesFolder) {
  Inspection result;
  Report& report = result.report;
  const MetadataVerdict v = InspectFileHead(kBkMdataFormat, bytes, &result, [&bytes](Report* state) {
    const BkMdataState block = DecodeBkState(bytes.data() + kBkMdataFormat.stateOffset());
    state->Set("createdUtc", Report::Text(FormatSystemTime(block.createdUtc)));
    state->Set("flags", Report::Text(Hex32(block.stateFlags)));
    state->Set("damaged", Report::Flag((block.stateFlags & BKSTATE_DAMAGED) != 0));
  });

  Report records = Report::List();
  Report copies = Report::List();
  uint32_t copiesChecked = 0;
  uint32_t copiesBad = 0;
  for (uint32_t i = 0; i < v.recordsInFile; ++i) {
    BkMdataRecord record;
    DecodeBkRecord(bytes.data() + kBkMdataFormat.recordOffset(i), &record);
    const std::string name = RecordNameText(record.fileName);
    const std::string flags = BkFlagNames(record.flags);
    const std::string time = FormatSystemTime(record.lastWriteTime);
    const std::string digest = HexBytes(record.digest, sizeof(record.digest));
    Report item = Report::Object();
    item.Set("index", Report::Number(i))
        .Set("flags", Report::Words(BkFlagWords(record.flags), "|"))
        .Set("size", Report::Number(record.fileSizeLow))
        .Set("time", Report::Text(time))
        .Set("digest", Report::Text(digest))
        .Set("name", Report::Text(name));
    records.Append(std::move(item), "record " + std::to_string(i) + ": flags=" + flags + " size=" +
                                        std::to_string(record.fileSizeLow) + " time=" + time + " digest=" + digest +
                                        " name=" + RowValue(name));
    if (copiesFolder) {
      const std::string found = CheckCopy(record, *copiesFolder);
      if (found != std::string("not-kept")) {
        ++copiesChecked;
        if (found != std::string("ok")) ++copiesBad;
      }
      Report copy = Report::Object();
      copy.Set("index", Report::Number(i)).Set("state", Report::Text(found)).Set("name", Report::Text(name));
      copies.Append(std::move(copy), "copy " + std::to_string(i) + ": " + found + " name=" + RowValue(name));
    }
  }
  report.Set("records", std::move(records));
  if (copiesFolder) {
    result.copiesIntact = copiesBad == 0;
    report.Set("verify", copiesBad == 0 ? Report::Check(CheckState::kOk, CountOf(copiesChecked, "copy matches its digest",
                                                                                     "copies match their digests"))
                                        : Report::Check(CheckState::kBad, std::to_string(copiesBad) + " of " +
                                                                              std::to_string(copiesChecked) +
                                                                              " copies missing or different"));
    report.Set("copies", std::move(copies));
  }
  return result;
}

Inspection InspectRBMdata(const std::vector<uint8_t>& bytes) {
  Inspection result;
  Report& report = result.report;
  const MetadataVerdict v = InspectFileHead(kRBMdataFormat, bytes, &result, [&bytes](Report* state) {
    const RBMdataState block = DecodeRBState(bytes.data() + kRBMdataFormat.stateOffset());
    state->Set("updateStatus", Report::Number(block.updateStatus));
    state->Set("rollbackCount", Report::Number(block.rollbackCount));
    state->Set("rollbacksRemaining", Report::Number(RollbacksRemaining(block.rollbackCount)));
  });

  Report records = Report::List();
  for (uint32_t i = 0; i < v.recordsInFile; ++i) {
    RBMdataRecord record;
    DecodeRBRecord(bytes.data() + kRBMdataFormat.recordOffset(i), &record);
    const std::string name = RecordNameText(record.fileName);
    const std::string time = FormatSystemTime(record.lastWriteTime);
    const std::string digest = HexBytes(record.digest, sizeof(record.digest));
    Report item = Report::Object();
    item.Set("index", Report::Number(i))
        .Set("size", Report::Number(record.fileSizeLow))
        .Set("time", Report::Text(time))
        .Set("digest", Report::Text(digest))
        .Set("name", Report::Text(name));
    records.Append(std::move(item), "record " + std::to_string(i) + ": size=" + std::to_string(record.fileSizeLow) +
                                        " time=" + time + " digest=" + digest + " name=" + RowValue(name));
  }
  report.Set("records", std::move(records));
  return result;
}

}  // namespace mivra::ctl
