#include "update/rollback/registered_file_judgement.h"

#include <cstring>

namespace mivra {

FileJudgement JudgeRegisteredFile(const RbMdataRecord& record, const InstalledFile* installed, bool exempt,
                                  const std::function<bool(uint8_t (&)[16])>& digestOf) {
  if (!installed) return {FileFinding::kMissing, exempt};
  if (!(installed->localWriteTime == record.lastWriteTime)) return {FileFinding::kTimeChanged, exempt};
  const bool sizeDiffers = installed->sizeLow != record.fileSizeLow;
  // A size difference decides at once, without a digest, unless the file is exempt.
  if (sizeDiffers && !exempt) return {FileFinding::kSizeDiffers, false};
  uint8_t digest[16];
  if (!digestOf(digest)) return {FileFinding::kDigestUnavailable, exempt};
  if (sizeDiffers) return {FileFinding::kSizeDiffers, exempt};
  if (std::memcmp(digest, record.digest, sizeof(digest)) != 0) return {FileFinding::kContentDiffers, exempt};
  return {FileFinding::kUnchanged, exempt};
}

}  // namespace mivra
