// Watching deletions deferred to restart: steers the zkstub.dll stand-in, reads the calls it
// logged, and reads the system's list of files to delete at restart.
#ifndef MIVRA_TESTS_SUPPORT_DEFERRED_DELETE_PROBE_H_
#define MIVRA_TESTS_SUPPORT_DEFERRED_DELETE_PROBE_H_

#include <string>
#include <vector>

namespace mivra_test {

class DeferredDeleteProbe {
 public:
  // Clears the pending deletions and the stand-in's log; `mode` is "open", "refuse" or "noexport".
  explicit DeferredDeleteProbe(const wchar_t* mode);
  // Clears the pending deletions again and stops the logging.
  ~DeferredDeleteProbe();
  DeferredDeleteProbe(const DeferredDeleteProbe&) = delete;
  DeferredDeleteProbe& operator=(const DeferredDeleteProbe&) = delete;

  // The lines the stand-in logged, one per call, in order.
  std::vector<std::string> TrustCalls() const;

  // Paths scheduled for deletion at restart, without the "\??\" prefix.
  static std::vector<std::wstring> PendingDeletions();
  static void ClearPendingDeletions();

 private:
  std::wstring log_;
};

// A path as the stand-in logs it (UTF-8).
std::string Utf8(const std::wstring& text);

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_DEFERRED_DELETE_PROBE_H_
