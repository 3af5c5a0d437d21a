#include "update/backup/copy_readback.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "update/digest/file_piece.h"
#include "update/digest/md5.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

CopyReadback::~CopyReadback() {
  if (reader_.joinable()) Finish(false, nullptr);
}

bool CopyReadback::Start(const wchar_t* destination, void* writer) {
  if (!destination || reader_.joinable()) return false;
  writer_ = writer;
  // Opened here, before the thread, so that a copy that cannot be read back is known at once.
  // Sharing deletion as well: the writer may hold the right to rename its copy into place.
  ScopedHandle file(Platform().CreateFileW(destination, GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  try {
    HANDLE handle = file.get();
    reader_ = std::thread([this, handle] { Read(handle); });
  } catch (...) {
    return false;
  }
  file.release();
  return true;
}

void CopyReadback::Written(uint64_t total) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = total;
  }
  changed_.notify_one();
}

bool CopyReadback::Finish(bool complete, uint8_t* digest) {
  if (!reader_.joinable()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writerDone_ = true;
    complete_ = complete;
  }
  changed_.notify_one();
  reader_.join();
  if (!complete || !proved_) return false;
  if (digest) std::memcpy(digest, digest_, sizeof(digest_));
  return true;
}

void CopyReadback::Read(void* handle) {
  ScopedHandle file(static_cast<HANDLE>(handle));
  std::unique_ptr<BYTE[]> piece(new (std::nothrow) BYTE[kFilePieceSize]);
  CMd5 md5;
  Md5Context context{};
  bool failed = !piece || md5.Md5Init(&context) != 1;
  uint64_t done = 0;
  uint64_t flushedAt = 0;
  while (!failed) {
    uint64_t available = 0;
    bool writerDone = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return writerDone_ || written_ > done; });
      available = written_;
      writerDone = writerDone_;
      if (writerDone && !complete_) failed = true;
    }
    if (failed) break;
    // Up to what is written, and, once the writer is done, on to the end of the file, as a digest
    // of the whole file reads it.
    const uint64_t wanted = writerDone ? kFilePieceSize : available - done;
    const DWORD ask = static_cast<DWORD>(wanted < kFilePieceSize ? wanted : kFilePieceSize);
    DWORD got = 0;
    if (!Platform().ReadFile(file.get(), piece.get(), ask, &got, nullptr)) {
      failed = true;
    } else if (got == 0) {
      // What the writer wrote is readable at once: a file that ends before it is no copy.
      if (writerDone && done == available) break;
      failed = true;
    } else {
      failed = md5.Md5Update(&context, piece.get(), got) != 1;
      done += got;
      // The writer's flush at the end is the one relied on; this one only shortens it.
      if (!writerDone && writer_ && done - flushedAt >= kReadbackFlushEvery) {
        Platform().FlushFileBuffers(static_cast<HANDLE>(writer_));
        flushedAt = done;
      }
    }
  }
  file.reset();
  if (failed || md5.Md5Final(&context) != 1) return;
  std::memcpy(digest_, context.digest, sizeof(digest_));
  proved_ = true;
}

}  // namespace mivra
