// The opt-in trace: when the environment variable MIVRA_TRACE names a file, every export call
// appends a "call" line with its arguments, a "step" line for each step that touches the disk or
// decides something, and a "return" line with its result, the code it wrote and the time it took
// (line format in trace_format.h). Unset, the cost is one look at the variable per export call.
//
// The trace never changes what the library does: its file is opened at an export call's first line
// and closed when the call returns, so that no handle of it is held between calls; each line (or
// batch of lines, see TraceBatch) is appended in one write under a lock, so that lines of two
// processes never mix; a file that cannot be opened or written is skipped; the thread's last error
// and errno are as they were after every trace call. Its I/O deliberately bypasses the platform
// table: faults injected into the library's calls must neither silence the trace nor be shifted by
// it, and call counts taken through the table stay the same whether tracing or not.
//
//   // In an export, first thing:
//   ExportTrace call("MivraRemoveFromBackup");
//   call.Arguments().Path("name", fileName);
//   return call.Returns(RemoveFromBackup(fileName, errorCode));
//
//   // At a step, right after the platform call whose outcome it records (the call on its own line):
//   const BOOL moved = Platform().MoveFileW(from, to);
//   if (!TraceStep("rename").Path("from", from).Path("to", to).Win32(moved))
#ifndef MIVRA_UPDATE_FRAME_TRACE_LOG_H_
#define MIVRA_UPDATE_FRAME_TRACE_LOG_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mivra {

struct TraceCallState;

// One line under construction; it is written by Win32, Crt or Ok, which end it, or else when the
// object goes. Inactive (and free of any work) when no traced export call is running on this
// thread.
class TraceEvent {
 public:
  // An event of the export call running on this thread.
  TraceEvent(const char* event, const char* nameKey, const char* name) noexcept;
  ~TraceEvent();
  TraceEvent(TraceEvent&& other) noexcept;
  TraceEvent(const TraceEvent&) = delete;
  TraceEvent& operator=(const TraceEvent&) = delete;

  TraceEvent& Path(const char* key, const wchar_t* path) noexcept;  // a null path is written as %00
  TraceEvent& Text(const char* key, const char* text) noexcept;
  TraceEvent& Number(const char* key, uint64_t number) noexcept;
  TraceEvent& Hex(const char* key, uint64_t number) noexcept;
  TraceEvent& Bytes(const char* key, const uint8_t* bytes, size_t count) noexcept;
  TraceEvent& Pointer(const char* key, const void* pointer) noexcept;  // 0x… or null
  // "key=null" for a missing out-pointer, the one case in which its value tells something.
  TraceEvent& IfNull(const char* key, const void* pointer) noexcept;

  // "result=ok", or "result=failed" with the thread's last error (win32=N). Returns `ok`.
  bool Win32(bool ok) noexcept;
  // The same, except that "file not found" and "path not found" are no failure but the word given
  // (a step that finds nothing to act on).
  bool Win32(bool ok, const char* notFoundWord) noexcept;
  // The same for a C-runtime call: "result=failed errno=N", and win32=N when the runtime took
  // the failure from the system.
  bool Crt(bool ok) noexcept;
  // "result=ok" or "result=failed" for a step whose failure carries no system error. Returns `ok`.
  bool Ok(bool ok) noexcept;
  // "result=WORD" for a step that decides rather than succeeds or fails.
  TraceEvent& Outcome(const char* word) noexcept;
  // A failure whose cause is not a system error (a digest that differs, a record that is invalid).
  TraceEvent& Failed(const char* why) noexcept;

  bool active() const { return active_; }

 private:
  friend class ExportTrace;
  TraceEvent(TraceCallState* call, const char* event, const char* nameKey, const char* name) noexcept;
  template <typename MakeValue>
  TraceEvent& Field(const char* key, MakeValue make) noexcept;
  void Write() noexcept;

  TraceCallState* call_ = nullptr;
  std::string line_;
  bool active_ = false;
};

// A step of the running export call: "event=step step=NAME".
inline TraceEvent TraceStep(const char* step) noexcept { return TraceEvent("step", "step", step); }

// The trace of one export call, from its arguments to its result. Export calls nest (the inner
// one's lines go to the file named when the outer one started).
class ExportTrace {
 public:
  explicit ExportTrace(const char* function) noexcept;
  ~ExportTrace();
  ExportTrace(const ExportTrace&) = delete;
  ExportTrace& operator=(const ExportTrace&) = delete;

  // The "call" line; add the arguments to it.
  TraceEvent Arguments() noexcept;
  // The "return" line with the result, the code written (if any) and the time taken; outputs of
  // the call may be added to it.
  TraceEvent Returned(bool result) noexcept;
  TraceEvent Returned(const void* handle) noexcept;
  TraceEvent Returned() noexcept;  // for the exports without a result

  template <typename Result>
  Result Returns(Result result) noexcept {
    Returned(result);
    return result;
  }

 private:
  // "result=…" as given, then the code written and the time taken.
  TraceEvent ReturnLine(const std::string& result) noexcept;

  const char* function_;
  std::unique_ptr<TraceCallState> state_;  // null when not tracing
  TraceCallState* outer_ = nullptr;
};

// While a batch lives on a thread whose export call is traced, that call's lines gather in memory
// and are written together, in one write under one lock: whenever kTraceBatchBytes have gathered,
// and when the batch ends. Each line keeps the time it was made. Only for loops that read and
// judge many files, where the lock around each line cost more than the line's work: a process
// killed inside one loses those last lines, and nothing they would have told was changed on disk.
inline constexpr size_t kTraceBatchBytes = 16 * 1024;
class TraceBatch {
 public:
  TraceBatch() noexcept;
  ~TraceBatch();
  TraceBatch(const TraceBatch&) = delete;
  TraceBatch& operator=(const TraceBatch&) = delete;

 private:
  TraceCallState* call_;
};

// Records the error code the running export call writes (the export frame calls it).
void TraceErrorCode(uint32_t code) noexcept;

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_TRACE_LOG_H_
