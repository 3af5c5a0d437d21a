#include "update/frame/trace_log.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "update/frame/file_info.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_format.h"

namespace mivra {

namespace {

// The trace's own handle is closed directly, outside the platform table like the rest of its I/O.
struct TraceHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using TraceFileHandle = ScopedGeneric<TraceHandleTraits>;

}  // namespace

struct TraceCallState {
  std::wstring file;
  LARGE_INTEGER start{};
  uint32_t code = 0;
  bool codeWritten = false;
  // Opened at the call's first line and closed when the call returns: an open per line cost more
  // than the work a line reports (a query of a thousand files took two and a half times as long).
  TraceFileHandle handle;
  bool unopenable = false;  // tried once in this call: a trace that cannot be opened is skipped
  // The file's length when it was opened, and what this call has appended since: the trace is
  // moved aside once that reaches the limit (lines of other processes meanwhile are not counted).
  uint64_t length = 0;
  // Lines gathered while a TraceBatch lives, and how many live.
  std::string batched;
  int batches = 0;
};

namespace {

// The export call running on this thread, if it is traced.
thread_local TraceCallState* tCurrent = nullptr;

// Whatever the trace does, the thread's last error and errno stay as the library left them.
class ErrorsKept {
 public:
  ErrorsKept() : lastError_(::GetLastError()), errno_(errno), doserrno_(_doserrno) {}
  ~ErrorsKept() {
    _doserrno = doserrno_;
    errno = errno_;
    ::SetLastError(lastError_);
  }
  ErrorsKept(const ErrorsKept&) = delete;
  ErrorsKept& operator=(const ErrorsKept&) = delete;

 private:
  DWORD lastError_;
  int errno_;
  unsigned long doserrno_;
};

constexpr const wchar_t kTraceVariable[] = L"MIVRA_TRACE";

// The file named by the variable now; empty when it is unset, empty or unreadable.
std::wstring TraceFileFromEnvironment() {
  wchar_t shortValue[MAX_PATH];
  const DWORD needed = ::GetEnvironmentVariableW(kTraceVariable, shortValue, MAX_PATH);
  if (needed == 0) return {};
  if (needed < MAX_PATH) return shortValue;
  std::wstring value(needed, L'\0');
  const DWORD copied = ::GetEnvironmentVariableW(kTraceVariable, value.data(), needed);
  if (copied == 0 || copied >= needed) return {};
  value.resize(copied);
  return value;
}

std::string Utf8(const wchar_t* text) {
  const int length = static_cast<int>(wcslen(text));
  if (length == 0) return {};
  // Unpaired surrogates become U+FFFD.
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::string HexText(uint64_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(number));
  return text;
}

std::string LinePrefix() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  char text[96];
  std::snprintf(text, sizeof text, "time=%04u-%02u-%02uT%02u:%02u:%02u.%03uZ pid=%lu tid=%lu", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, ::GetCurrentProcessId(),
                ::GetCurrentThreadId());
  return text;
}

TraceFileHandle OpenForAppend(const std::wstring& file) {
  // Append-only access makes every write land at the end; read access is what a lock needs;
  // delete sharing lets a writer move the file aside while others have it open.
  return TraceFileHandle(::CreateFileW(file.c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Writers in other processes wait for each other around a line, and around the look at a trace's
// length, so that only one of them moves a full trace aside. The lock lies far beyond any trace's
// end.
class AppendLock {
 public:
  explicit AppendLock(HANDLE file) : file_(file) {
    overlapped_.OffsetHigh = kLockOffsetHigh;
    locked_ = ::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped_) != FALSE;
  }
  ~AppendLock() {
    if (locked_) ::UnlockFileEx(file_, 0, 1, 0, &overlapped_);
  }
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;

 private:
  static constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
  HANDLE file_;
  OVERLAPPED overlapped_ = {};
  bool locked_ = false;
};

// Opens the call's trace, moving a full one aside once (replacing the older one) and starting a
// new file. False when it cannot be opened.
bool OpenTrace(TraceCallState& call) {
  for (int opening = 0; opening < 2; ++opening) {
    TraceFileHandle handle = OpenForAppend(call.file);
    if (!handle) return false;
    {
      // Under the lock, so that of two writers that find the trace full only one moves it aside.
      AppendLock lock(handle.get());
      LARGE_INTEGER size;
      call.length = ::GetFileSizeEx(handle.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
      if (opening == 0 && call.length >= kTraceFileLimit) {
        ::MoveFileExW(call.file.c_str(), (call.file + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
        continue;
      }
    }
    call.handle = std::move(handle);
    return true;
  }
  return false;
}

// Appends whole lines in one write, through the handle the call holds. Writers in other processes
// wait for each other around the write, so that lines never mix even where an append is not one
// step (Wine takes the length, then writes there).
void WriteLines(TraceCallState& call, const std::string& lines) {
  if (call.handle && call.length >= kTraceFileLimit) call.handle.reset();
  if (!call.handle) {
    if (call.unopenable) return;
    if (!OpenTrace(call)) {
      call.unopenable = true;
      return;
    }
  }
  AppendLock lock(call.handle.get());
  DWORD written = 0;
  if (::WriteFile(call.handle.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr)) {
    call.length += written;
  }
}

// Writes what a batch gathered; never throws (it runs as a batch or a call ends).
void WriteBatched(TraceCallState& call) noexcept {
  if (call.batched.empty()) return;
  try {
    WriteLines(call, call.batched);
  } catch (...) {
  }
  call.batched.clear();
}

void AppendLine(TraceCallState& call, const std::string& line) {
  if (call.batches == 0) return WriteLines(call, line);
  call.batched += line;
  if (call.batched.size() >= kTraceBatchBytes) WriteBatched(call);
}

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

TraceEvent::TraceEvent(const char* event, const char* nameKey, const char* name) noexcept
    : TraceEvent(tCurrent, event, nameKey, name) {}

TraceEvent::TraceEvent(TraceCallState* call, const char* event, const char* nameKey, const char* name) noexcept
    : call_(call) {
  if (!call_) return;
  ErrorsKept kept;
  try {
    AppendTraceField(line_, "event", event);
    AppendTraceField(line_, nameKey, name);
    active_ = true;
  } catch (...) {
    line_.clear();
  }
}

TraceEvent::TraceEvent(TraceEvent&& other) noexcept
    : call_(other.call_), line_(std::move(other.line_)), active_(other.active_) {
  other.active_ = false;
}

TraceEvent::~TraceEvent() { Write(); }

void TraceEvent::Write() noexcept {
  if (!active_) return;
  active_ = false;
  ErrorsKept kept;
  try {
    AppendLine(*call_, LinePrefix() + " " + line_ + "\n");
  } catch (...) {
  }
}

// Adds a field whose value `make` builds; a value that cannot be built (memory running out)
// drops the whole line rather than write part of it.
template <typename MakeValue>
TraceEvent& TraceEvent::Field(const char* key, MakeValue make) noexcept {
  if (!active_) return *this;
  ErrorsKept kept;
  try {
    AppendTraceField(line_, key, make());
  } catch (...) {
    active_ = false;
  }
  return *this;
}

TraceEvent& TraceEvent::Path(const char* key, const wchar_t* path) noexcept {
  return Field(key, [path] { return path ? Utf8(path) : std::string(1, '\0'); });
}

TraceEvent& TraceEvent::Text(const char* key, const char* text) noexcept {
  return Field(key, [text] { return std::string(text ? text : ""); });
}

TraceEvent& TraceEvent::Number(const char* key, uint64_t number) noexcept {
  return Field(key, [number] { return std::to_string(number); });
}

TraceEvent& TraceEvent::Hex(const char* key, uint64_t number) noexcept {
  return Field(key, [number] { return HexText(number); });
}

TraceEvent& TraceEvent::Bytes(const char* key, const uint8_t* bytes, size_t count) noexcept {
  if (!bytes) return Pointer(key, nullptr);
  return Field(key, [bytes, count] {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
      text += kHex[bytes[i] >> 4];
      text += kHex[bytes[i] & 0xF];
    }
    return text;
  });
}

TraceEvent& TraceEvent::Pointer(const char* key, const void* pointer) noexcept {
  return Field(key, [pointer] {
    return pointer ? HexText(reinterpret_cast<uintptr_t>(pointer)) : std::string("null");
  });
}

TraceEvent& TraceEvent::IfNull(const char* key, const void* pointer) noexcept {
  return pointer ? *this : Pointer(key, nullptr);
}

bool TraceEvent::Win32(bool ok) noexcept {
  if (!active_) return ok;
  const DWORD error = ::GetLastError();  // first, before anything can change it
  if (ok) {
    Outcome("ok");
  } else {
    Outcome("failed");
    Number("win32", error);
  }
  // Written now: a step that follows in the same expression comes after it in the trace.
  Write();
  return ok;
}

bool TraceEvent::Win32(bool ok, const char* notFoundWord) noexcept {
  if (!active_) return ok;
  const DWORD error = ::GetLastError();
  if (!ok && IsNotFoundError(error)) {
    Outcome(notFoundWord);
    Write();
    return ok;
  }
  return Win32(ok);
}

bool TraceEvent::Crt(bool ok) noexcept {
  if (!active_) return ok;
  const int error = errno;
  const unsigned long systemError = _doserrno;
  if (ok) {
    Outcome("ok");
  } else {
    Outcome("failed");
    Number("errno", static_cast<uint64_t>(error));
    if (systemError != 0) Number("win32", systemError);
  }
  Write();
  return ok;
}

bool TraceEvent::Ok(bool ok) noexcept {
  Outcome(ok ? "ok" : "failed");
  Write();
  return ok;
}

TraceEvent& TraceEvent::Outcome(const char* word) noexcept { return Text("result", word); }

TraceEvent& TraceEvent::Failed(const char* why) noexcept { return Outcome("failed").Text("why", why); }

ExportTrace::ExportTrace(const char* function) noexcept : function_(function), outer_(tCurrent) {
  ErrorsKept kept;
  try {
    std::wstring file = TraceFileFromEnvironment();
    if (file.empty()) return;
    state_ = std::make_unique<TraceCallState>();
    state_->file = std::move(file);
    ::QueryPerformanceCounter(&state_->start);
    tCurrent = state_.get();
  } catch (...) {
    state_.reset();
  }
}

ExportTrace::~ExportTrace() {
  if (!state_) return;
  tCurrent = outer_;
  ErrorsKept kept;
  WriteBatched(*state_);
  state_.reset();
}

TraceBatch::TraceBatch() noexcept : call_(tCurrent) {
  if (call_) ++call_->batches;
}

TraceBatch::~TraceBatch() {
  if (!call_ || --call_->batches > 0) return;
  ErrorsKept kept;
  WriteBatched(*call_);
}

TraceEvent ExportTrace::Arguments() noexcept { return TraceEvent(state_.get(), "call", "fn", function_); }

TraceEvent ExportTrace::ReturnLine(const std::string& result) noexcept {
  TraceEvent line(state_.get(), "return", "fn", function_);
  if (!line.active()) return line;
  if (!result.empty()) line.Field("result", [&result] { return result; });
  if (state_->codeWritten) line.Number("code", state_->code);
  char took[32];
  std::snprintf(took, sizeof took, "%.3f", MillisecondsSince(state_->start));
  line.Text("ms", took);
  return line;
}

TraceEvent ExportTrace::Returned(bool result) noexcept {
  if (!state_) return TraceEvent(nullptr, nullptr, nullptr, nullptr);
  return ReturnLine(result ? "1" : "0");
}

TraceEvent ExportTrace::Returned(const void* handle) noexcept {
  if (!state_) return TraceEvent(nullptr, nullptr, nullptr, nullptr);
  try {
    return ReturnLine(handle ? HexText(reinterpret_cast<uintptr_t>(handle)) : std::string("null"));
  } catch (...) {
    return TraceEvent(nullptr, nullptr, nullptr, nullptr);
  }
}

TraceEvent ExportTrace::Returned() noexcept {
  if (!state_) return TraceEvent(nullptr, nullptr, nullptr, nullptr);
  return ReturnLine(std::string());
}

void TraceErrorCode(uint32_t code) noexcept {
  if (!tCurrent) return;
  tCurrent->code = code;
  tCurrent->codeWritten = true;
}

}  // namespace mivra
