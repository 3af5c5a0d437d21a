// Fixture for tests that drive the backup exports: an installed product, and the staging and
// committed backups read back with the tests' own reader.
#ifndef MIVRA_UPDATE_BACKUP_BACKUP_EXPORTS_FIXTURE_H_
#define MIVRA_UPDATE_BACKUP_BACKUP_EXPORTS_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/product_test.h"

namespace mivra_test {

// MD5 digests of the contents the tests use.
inline constexpr char kAbc[] = "abc";
inline constexpr char kAbcMd5[] = "900150983cd24fb0d6963f7d28e17f72";
inline constexpr char kFox[] = "The quick brown fox jumps over the lazy dog";
inline constexpr char kFoxMd5[] = "9e107d9d372bb6826bd81d3542a419d6";

// An error variable's value before a call, so tests see whether the call wrote it.
inline constexpr uint32_t kUntouched = 0xA5A5A5A5u;

class BackupExportsTest : public ProductTest {
 protected:
  std::wstring StagingFile() const { return TmpBkupFolder() + L"\\bkmdata.dat"; }
  std::wstring CommittedFile() const { return BkupFolder() + L"\\bkmdata.dat"; }
  std::vector<MetadataRecord> StagingRecords() const { return RecordsOf(kBkLayout, ReadFileBytes(StagingFile())); }
  std::vector<MetadataRecord> CommittedRecords() const { return RecordsOf(kBkLayout, ReadFileBytes(CommittedFile())); }

  // Writes a file of the install directory and returns its path.
  std::wstring Install(const std::wstring& name, const std::string& content) const;

  // Backs up the named files through a staging object, released and left uncommitted; files that
  // do not exist are recorded as absent.
  void StageBackupOf(const std::vector<std::wstring>& names) const;
  // The same, then commits.
  void CommitBackupOf(const std::vector<std::wstring>& names) const;
};

// The names MivraGetBkMdataFileList lists; none when the call fails.
std::vector<std::wstring> ListedBackupNames();

// The names of the files in `folder`, sorted, without "." and "..".
std::vector<std::wstring> FilesIn(const std::wstring& folder);


}  // namespace mivra_test

#endif  // MIVRA_UPDATE_BACKUP_BACKUP_EXPORTS_FIXTURE_H_
