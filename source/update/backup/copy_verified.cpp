#include "update/backup/copy_verified.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "update/digest/file_digest.h"
#include "update/digest/file_piece.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// One "copy" step per copy: the part that failed, or none.
TraceEvent TraceCopy(const wchar_t* source, const wchar_t* destination, const char* failedPart) {
  TraceEvent step = TraceStep("copy");
  step.Path("from", source).Path("to", destination);
  if (failedPart) step.Text("part", failedPart);
  return step;
}

constexpr int kMaxCopyAttempts = 2;
constexpr size_t kDigestSize = 16;

// Moves every byte across; false at the first failed read or write.
bool PumpData(HANDLE from, HANDLE to) {
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kFilePieceSize]);
  if (!buffer) return false;
  for (;;) {
    DWORD got = 0;
    if (!Platform().ReadFile(from, buffer.get(), static_cast<DWORD>(kFilePieceSize), &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD written = 0;
    if (!Platform().WriteFile(to, buffer.get(), got, &written, nullptr) || written != got) return false;
  }
}

}  // namespace

bool CopyFileData(const wchar_t* source, const wchar_t* destination) {
  if (!source || !destination) return false;
  ScopedHandle from(Platform().CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!from) return TraceCopy(source, destination, "open source").Win32(false);
  // A copy is written into the file of that name, never through a link to another.
  ScopedHandle to = OpenFileNotLink(destination, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (!to) return TraceCopy(source, destination, "create copy").Win32(false);

  if (!PumpData(from.get(), to.get())) {
    TraceCopy(source, destination, "data").Win32(false);
    to.reset();
    Platform().DeleteFileW(destination);
    return false;
  }
  Platform().FlushFileBuffers(to.get());
  return TraceCopy(source, destination, nullptr).Ok(true);
}

bool CopyFileVerified(const wchar_t* source, const wchar_t* destination, const uint8_t* expected,
                      uint8_t* copyDigest) {
  if (!source || !destination) return false;
  uint8_t reference[kDigestSize];
  if (expected) {
    std::memcpy(reference, expected, kDigestSize);
  } else if (!GetFileDigest(source, reference)) {
    return false;
  }

  for (int attempt = 1;; ++attempt) {
    if (!CopyFileData(source, destination)) return false;
    uint8_t copied[kDigestSize];
    if (!GetFileDigest(destination, copied)) return false;
    if (std::memcmp(copied, reference, kDigestSize) == 0) {
      if (copyDigest) std::memcpy(copyDigest, copied, kDigestSize);
      return true;
    }
    TraceStep("verify").Path("path", destination).Bytes("expected", reference, kDigestSize).Number(
        "attempt", static_cast<uint64_t>(attempt)).Failed("digest differs");
    if (attempt == kMaxCopyAttempts) return false;
  }
}

}  // namespace mivra
