// Proving a large copy while it is written. A copy is proved by reading it back and digesting it;
// done after the copy, that pass and the flush before it add their whole time to the copy's. For
// a large copy a second thread reads back and digests each piece once the writer has written it,
// on its own handle, and the flush runs while it digests the last pieces: the same bytes read
// back from the same file, in the time the copy takes anyway.
#ifndef MIVRA_UPDATE_BACKUP_COPY_READBACK_H_
#define MIVRA_UPDATE_BACKUP_COPY_READBACK_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace mivra {

// Copies shorter than this are proved after they are written: a thread costs more than it saves,
// and their platform calls stay in one order.
inline constexpr uint64_t kReadbackFrom = 8ull << 20;
// While the writer goes on, the reader pushes what it has read back to disk this often, so that the
// writer's own flush at the end finds little left to write.
inline constexpr uint64_t kReadbackFlushEvery = 32ull << 20;

class CopyReadback {
 public:
  CopyReadback() = default;
  CopyReadback(const CopyReadback&) = delete;
  CopyReadback& operator=(const CopyReadback&) = delete;
  ~CopyReadback();

  // Starts reading back `destination`, which the writer holds open as `writer` with read sharing.
  // False when the reader cannot start; the copy is then proved after it is written, as a small one
  // is.
  bool Start(const wchar_t* destination, void* writer);
  bool started() const { return reader_.joinable(); }

  // The writer has written `total` bytes from the start of the file.
  void Written(uint64_t total);

  // The writer is done; `complete` false abandons the copy. Waits for the reader and closes its
  // handle, so that the copy can be deleted after this returns. True with the copy's digest (16
  // bytes) when every byte up to the end of the file was read back and digested.
  bool Finish(bool complete, uint8_t* digest);

 private:
  void Read(void* file);

  void* writer_ = nullptr;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t written_ = 0;    // guarded by mutex_
  bool writerDone_ = false; // guarded by mutex_
  bool complete_ = false;   // guarded by mutex_
  bool proved_ = false;     // the reader's result, read after the join
  uint8_t digest_[16] = {};
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_COPY_READBACK_H_
