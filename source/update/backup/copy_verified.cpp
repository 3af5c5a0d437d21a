#include "update/backup/copy_verified.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "update/backup/copy_readback.h"
#include "update/digest/file_digest.h"
#include "update/digest/file_piece.h"
#include "update/digest/md5.h"
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

// The copy's digest when it was read back while being written (a large copy), or none yet.
struct ReadbackDigest {
  bool taken = false;
  const char* through = nullptr;
  uint8_t digest[kDigestSize] = {};
};

// Moves every byte across, handing each piece to `eachPiece` when given; false at the first failed
// read or write. Once a copy is large, `readback` (when given) reads it back behind the writes.
template <typename PieceFn>
bool PumpData(HANDLE from, HANDLE to, const wchar_t* destination, CopyReadback* readback, PieceFn&& eachPiece,
              uint64_t* copied) {
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kFilePieceSize]);
  if (!buffer) return false;
  uint64_t& total = *copied;
  total = 0;
  bool tried = false;
  for (;;) {
    DWORD got = 0;
    if (!Platform().ReadFile(from, buffer.get(), static_cast<DWORD>(kFilePieceSize), &got, nullptr)) return false;
    if (got == 0) return true;
    if (!eachPiece(buffer.get(), got)) return false;
    DWORD written = 0;
    if (!Platform().WriteFile(to, buffer.get(), got, &written, nullptr) || written != got) return false;
    total += got;
    if (!readback) continue;
    if (!tried && total >= kReadbackFrom) {
      tried = true;
      readback->Start(destination, to);
    }
    if (readback->started()) readback->Written(total);
  }
}

// The digest of the `length` bytes a copy holds, read back through the handle that wrote them,
// after its flush: what the file holds, without opening it again. False when they cannot all be
// read; the copy is then read back by name.
bool DigestThroughWriter(HANDLE to, uint64_t length, uint8_t* digest) {
  uint64_t at = 0;
  // The offset goes with each read, so the writer's own position does not matter.
  const auto readAt = [to, length, &at](void* buffer, unsigned capacity) -> int {
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(length - at, capacity));
    if (want == 0) return 0;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!Platform().ReadFile(to, buffer, want, &got, &where) || got != want) return -1;
    at += got;
    return static_cast<int>(got);
  };
  CMd5 md5;
  return Md5OfStream(md5, readAt, digest) == 1;
}

// Copies from the open `from` into a new `destination`, as CopyFileData does: into `created`,
// the destination just created empty, when given, which gets its handle back, still open, once the
// copy is written and flushed.
template <typename PieceFn>
bool CopyFromHandle(HANDLE from, const wchar_t* source, const wchar_t* destination, ReadbackDigest* proof,
                    PieceFn&& eachPiece, ScopedHandle* created = nullptr) {
  // A copy is written into the file of that name, never through a link to another. Reading is
  // shared so that a large copy can be read back while it is written.
  const bool given = created && *created;
  ScopedHandle to = given
                        ? std::move(*created)
                        : OpenFileNotLink(destination, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  if (!to) return TraceCopy(source, destination, "create copy").Win32(false);

  // Read back only where a proof is wanted.
  CopyReadback readback;
  uint64_t copied = 0;
  if (!PumpData(from, to.get(), destination, proof ? &readback : nullptr, eachPiece, &copied)) {
    TraceCopy(source, destination, "data").Win32(false);
    readback.Finish(false, nullptr);
    to.reset();
    Platform().DeleteFileW(destination);
    return false;
  }
  Platform().FlushFileBuffers(to.get());
  // A reader that failed proves nothing either way: the copy is then read back after it is written.
  // A copy too small to be read back while written is read back through its writer.
  if (proof && readback.started()) {
    proof->taken = readback.Finish(true, proof->digest);
    proof->through = "read back while copying";
  } else if (proof) {
    proof->taken = DigestThroughWriter(to.get(), copied, proof->digest);
    proof->through = "read back through the writer";
  }
  if (given) *created = std::move(to);
  return TraceCopy(source, destination, nullptr).Ok(true);
}

// The copy's digest against `reference`; a mismatch is traced with its attempt.
bool CopyMatches(const wchar_t* destination, const uint8_t* reference, int attempt, const ReadbackDigest& proof,
                 uint8_t* copied, bool* taken) {
  if (proof.taken) {
    std::memcpy(copied, proof.digest, kDigestSize);
    *taken = true;
    TraceStep("digest").Path("path", destination).Bytes("md5", copied, kDigestSize)
        .Text("through", proof.through).Outcome("ok");
  } else {
    *taken = GetFileDigest(destination, copied);
  }
  if (!*taken) return false;
  if (std::memcmp(copied, reference, kDigestSize) == 0) return true;
  TraceStep("verify").Path("path", destination).Bytes("expected", reference, kDigestSize).Number(
      "attempt", static_cast<uint64_t>(attempt)).Failed("digest differs");
  return false;
}

// CopyFileData, with the copy's digest in `proof` when it was read back while written.
bool CopySharedSource(const wchar_t* source, const wchar_t* destination, ReadbackDigest* proof,
                      ScopedHandle* created = nullptr, const SourceCheck* acceptSource = nullptr) {
  if (!source || !destination) return false;
  ScopedHandle from(Platform().CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!from) return TraceCopy(source, destination, "open source").Win32(false);
  if (acceptSource && !(*acceptSource)(from.get())) return TraceCopy(source, destination, "source refused").Ok(false);
  return CopyFromHandle(from.get(), source, destination, proof, [](const BYTE*, DWORD) { return true; }, created);
}

}  // namespace

bool CopyFileData(const wchar_t* source, const wchar_t* destination) {
  return CopySharedSource(source, destination, nullptr);
}

HeldCopy CopyHeldSourceVerified(const wchar_t* source, const wchar_t* destination, uint8_t* copyDigest) {
  if (!source || !destination) return HeldCopy::kFailed;
  for (int attempt = 1;; ++attempt) {
    // Without write sharing no one can change the source while it is open here: the digest taken
    // while copying is the source's, as a pass of its own would take it.
    ScopedHandle from(Platform().CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) {
      // Not a failure of the copy: the caller copies the way a source open for writing needs.
      TraceStep("hold-source").Path("path", source).Outcome("not held");
      return HeldCopy::kNotHeld;
    }
    CMd5 md5;
    Md5Context context{};
    md5.Md5Init(&context);
    const auto hash = [&md5, &context](const BYTE* piece, DWORD length) {
      return md5.Md5Update(&context, piece, length) == 1;
    };
    ReadbackDigest proof;
    if (!CopyFromHandle(from.get(), source, destination, &proof, hash) || !md5.Md5Final(&context)) {
      return HeldCopy::kFailed;
    }
    from.reset();
    uint8_t copied[kDigestSize];
    bool taken = false;
    if (CopyMatches(destination, context.digest, attempt, proof, copied, &taken)) {
      if (copyDigest) std::memcpy(copyDigest, copied, kDigestSize);
      return HeldCopy::kProved;
    }
    if (!taken || attempt == kMaxCopyAttempts) return HeldCopy::kFailed;
  }
}

bool CopyFileVerified(const wchar_t* source, const wchar_t* destination, const uint8_t* expected,
                      uint8_t* copyDigest, ScopedHandle* created, const SourceCheck* acceptSource) {
  // Handed back only with the proved copy made through it; closed on every other way out.
  ScopedHandle into = created ? std::move(*created) : ScopedHandle();
  if (!source || !destination) return false;
  uint8_t reference[kDigestSize];
  if (expected) {
    std::memcpy(reference, expected, kDigestSize);
  } else {
    into.reset();
    switch (CopyHeldSourceVerified(source, destination, copyDigest)) {
      case HeldCopy::kProved: return true;
      case HeldCopy::kFailed: return false;
      case HeldCopy::kNotHeld: break;
    }
    // Another process may write the source while it is copied: its digest is taken on its own
    // before the copy, and a copy that differs from it is no copy of that state.
    if (!GetFileDigest(source, reference)) return false;
  }

  for (int attempt = 1;; ++attempt) {
    ReadbackDigest proof;
    if (!CopySharedSource(source, destination, &proof, &into, expected ? acceptSource : nullptr)) return false;
    // A copy whose digest was not taken while it was written is read by name, which its writer,
    // open for writing, would refuse.
    if (!proof.taken) into.reset();
    uint8_t copied[kDigestSize];
    bool taken = false;
    if (CopyMatches(destination, reference, attempt, proof, copied, &taken)) {
      if (copyDigest) std::memcpy(copyDigest, copied, kDigestSize);
      if (created) *created = std::move(into);
      return true;
    }
    // The next copy starts afresh, by name: this handle stands past the data it wrote.
    into.reset();
    if (!taken || attempt == kMaxCopyAttempts) return false;
  }
}

}  // namespace mivra
