#include "update/manifest/manifest_folder_test_util.h"

#include "support/file_util.h"
#include "support/product_test.h"
#include "update/frame/platform_calls.h"

namespace mivra_test {
namespace {

int g_readsUntilFault = 0;

int FaultyRead(int fd, void* buffer, unsigned count) {
  if (g_readsUntilFault > 0 && --g_readsUntilFault == 0) return 0;
  return mivra::RealPlatformCalls().read(fd, buffer, count);
}

}  // namespace

void ManifestFolderTest::SetUp() {
  RemoveTree(Folder().substr(0, Folder().size() - 1));
  MakeFolder(Folder());
  mivra::Platform() = mivra::RealPlatformCalls();
}

void ManifestFolderTest::TearDown() {
  mivra::Platform() = mivra::RealPlatformCalls();
  g_readsUntilFault = 0;
  RemoveTree(Folder().substr(0, Folder().size() - 1));
}

std::wstring ManifestFolderTest::Folder() const { return TestInstallDir(); }

void ManifestFolderTest::Write(const std::wstring& name, const std::string& bytes) const {
  WriteFileBytes(PathOf(name), bytes);
}

void ManifestFolderTest::FailNthRead(int n) {
  g_readsUntilFault = n;
  mivra::Platform().read = FaultyRead;
}

}  // namespace mivra_test
