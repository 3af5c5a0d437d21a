#include "update/manifest/manifest_folder_test.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

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

StdoutCapture::StdoutCapture(const std::wstring& file) : file_(file) {
  std::fflush(stdout);
  const int fd = _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd == -1) return;
  saved_ = _dup(1);
  _dup2(fd, 1);
  _close(fd);
}

void StdoutCapture::Restore() {
  if (saved_ == -1) return;
  std::fflush(stdout);
  _dup2(saved_, 1);
  _close(saved_);
  saved_ = -1;
}

std::string StdoutCapture::Finish() {
  Restore();
  return ReadFileBytes(file_);
}

void ManifestFolderTest::SetUp() {
  RemoveTree(Folder().substr(0, Folder().size() - 1));
  MakeFolder(Folder());
  mivra::Platform() = mivra::RealPlatformCalls();
}

void ManifestFolderTest::TearDown() {
  mivra::Platform() = mivra::RealPlatformCalls();
  g_readsUntilFault = 0;
  RemoveTree(Folder().substr(0, Folder().size() - 1));
  _wremove(CaptureFile().c_str());
}

std::wstring ManifestFolderTest::Folder() const { return TestInstallDir(); }

std::wstring ManifestFolderTest::CaptureFile() const {
  const std::wstring folder = Folder();
  return folder.substr(0, folder.size() - 1) + L"-stdout.txt";
}

void ManifestFolderTest::Write(const std::wstring& name, const std::string& bytes) const {
  WriteFileBytes(PathOf(name), bytes);
}

void ManifestFolderTest::FailNthRead(int n) {
  g_readsUntilFault = n;
  mivra::Platform().read = FaultyRead;
}

}  // namespace mivra_test
