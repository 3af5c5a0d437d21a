// Holds a file open from another process, so tests meet real sharing violations.
#ifndef MIVRA_TESTS_SUPPORT_HELD_FILE_H_
#define MIVRA_TESTS_SUPPORT_HELD_FILE_H_

#include <windows.h>

#include <string>

namespace mivra_test {

class HeldFile {
 public:
  // Starts file_holder.exe, which opens `path` with `access` and `share` (CreateFileW flags,
  // OPEN_ALWAYS) and keeps it open until this object goes. ok() tells whether it is held.
  HeldFile(const std::wstring& path, DWORD access, DWORD share);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool ok() const { return held_; }
  // Lets the holder close the file and end, and waits for it.
  void Release();

 private:
  HANDLE process_ = nullptr;
  HANDLE release_ = nullptr;
  bool held_ = false;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_HELD_FILE_H_
