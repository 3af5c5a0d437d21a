#include "update/backup/backup_exports_fixture.h"

#include <windows.h>

#include <algorithm>

#include "mivra.h"
#include "support/file_util.h"

namespace mivra_test {

std::wstring BackupExportsTest::Install(const std::wstring& name, const std::string& content) const {
  const std::wstring path = InstallPath(name);
  WriteFileBytes(path, content);
  return path;
}

void BackupExportsTest::StageBackupOf(const std::vector<std::wstring>& names) const {
  uint32_t error = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&error);
  ASSERT_NE(object, nullptr) << error;
  for (const std::wstring& name : names) {
    EXPECT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &error)) << error;
  }
  MivraDeleteBkMdataObject(object);
}

void BackupExportsTest::CommitBackupOf(const std::vector<std::wstring>& names) const {
  StageBackupOf(names);
  uint32_t error = kUntouched;
  ASSERT_TRUE(MivraCommitBackup(&error)) << error;
}

std::vector<std::wstring> ListedBackupNames() {
  wchar_t* list = nullptr;
  uint32_t count = 0;
  uint32_t error = kUntouched;
  std::vector<std::wstring> names;
  if (!MivraGetBkMdataFileList(&list, &count, &error)) return names;
  for (uint32_t i = 0; i < count; ++i) names.emplace_back(list + 260 * i);
  MivraFreeBkMdataFileList(list);
  return names;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data = {};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace mivra_test
