#include "update/rollback/registered_file_judgement.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "update/frame/file_name.h"
#include "update/store/metadata_format.h"

namespace mivra {
namespace {

// The name as the component lists spell names; false when it cannot be converted.
bool ToListSpelling(const std::wstring& name, std::string* narrow) {
  std::vector<char> buffer(name.size() * MB_LEN_MAX + 1, '\0');
  const size_t length = std::wcstombs(buffer.data(), name.c_str(), buffer.size());
  if (length == static_cast<size_t>(-1)) return false;
  narrow->assign(buffer.data(), std::min(length, buffer.size()));
  return true;
}

}  // namespace

bool IsExemptName(const std::wstring& name, const std::vector<std::string>* componentNames) {
  std::string spelling;
  return componentNames && ToListSpelling(name, &spelling) &&
         std::find(componentNames->begin(), componentNames->end(), spelling) != componentNames->end();
}

const char* FileFindingWord(FileFinding finding) {
  switch (finding) {
    case FileFinding::kNotPlainName: return "not-plain-name";
    case FileFinding::kPathTooLong: return "path-too-long";
    case FileFinding::kMissing: return "missing";
    case FileFinding::kFactsUnreadable: return "attributes-unreadable";
    case FileFinding::kTimeChanged: return "time-changed";
    case FileFinding::kSizeDiffers: return "size-differs";
    case FileFinding::kContentDiffers: return "content-differs";
    case FileFinding::kUnchanged: return "unchanged";
    case FileFinding::kDigestUnavailable: return "digest-unavailable";
  }
  return "";
}

FileJudgement JudgeRegisteredFile(const RBMdataRecord& record, bool exempt, InstalledFileProbe& probe) {
  const std::wstring name = RecordFieldName(record.fileName);
  // Anyone may write the database: a record that names no plain file of the install directory
  // describes nothing the product installed.
  if (!IsPlainFileName(name)) return {FileFinding::kNotPlainName, exempt};
  if (!probe.Locate(name)) return {FileFinding::kPathTooLong, exempt};
  InstalledFile installed{};
  if (!probe.ReadFacts(&installed)) {
    // A failed read is no proof of absence: only "not found" lets the check skip the file.
    return {probe.ProvedMissing() ? FileFinding::kMissing : FileFinding::kFactsUnreadable, exempt};
  }
  if (!(installed.localWriteTime == record.lastWriteTime)) return {FileFinding::kTimeChanged, exempt};
  const bool sizeDiffers = installed.sizeLow != record.fileSizeLow;
  // A size difference decides at once, without a digest, unless the file is exempt.
  if (sizeDiffers && !exempt) return {FileFinding::kSizeDiffers, false};
  uint8_t digest[16];
  if (!probe.TakeDigest(digest)) return {FileFinding::kDigestUnavailable, exempt};
  if (sizeDiffers) return {FileFinding::kSizeDiffers, exempt};
  if (std::memcmp(digest, record.digest, sizeof(digest)) != 0) return {FileFinding::kContentDiffers, exempt};
  return {FileFinding::kUnchanged, exempt};
}

}  // namespace mivra
