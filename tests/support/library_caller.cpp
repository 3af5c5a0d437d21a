// Helper process for tests: a second user of the library, calling its exports through the DLL
// while the test process calls them too. Exits with the number of calls that failed (at most 250),
// or 251 on bad usage.
//   library_caller register FOLDER COUNT object|single PREFIX...
//       registers FOLDER\PREFIX<i>.bin for i < COUNT, prefix after prefix, through one object
//       kept for the whole run, or through a single call each
//   library_caller remove PREFIX COUNT       marks PREFIX<i>.bin removed in the committed backup
//   library_caller commit FOLDER NAME ROUNDS stages FOLDER\NAME in a new backup and commits it
//   library_caller rollback ROUNDS           restores the committed backup; exits with the code of
//                                            the first failure
//   library_caller hold LOCK_NAME READY_EVENT
//       takes the named mutex, signals READY_EVENT and sleeps until killed
//   library_caller service REPORT WATCHED_PATH TEXT
//       the product's service: once WATCHED_PATH holds TEXT, lists the backup, writes "listed"
//       or the code into REPORT, then answers the rollback's handshake
//   library_caller every-export REPORT FILE
//       calls every export that takes an error variable once (FILE for those that take a path)
//       and writes one row per call into REPORT: "| `Name(...)` | result | code |", the code
//       "none" when the variable was left as it was
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "mivra.h"

namespace {

constexpr int kBadUsage = 251;
constexpr int kMaxReported = 250;

int Reported(int failures) { return failures > kMaxReported ? kMaxReported : failures; }

uint32_t Count(const wchar_t* text) { return static_cast<uint32_t>(std::wcstoul(text, nullptr, 10)); }

std::wstring NumberedName(const wchar_t* prefix, uint32_t i) { return prefix + std::to_wstring(i) + L".bin"; }

int Register(const wchar_t* folder, uint32_t count, bool withObject, wchar_t** prefixes, int prefixCount) {
  uint32_t code = 0;
  MdataObject* object = withObject ? MivraCreateRBMdataObject(&code) : nullptr;
  if (withObject && !object) return kMaxReported;
  const uint8_t digest[16] = {0x5A};
  int failures = 0;
  for (int p = 0; p < prefixCount; ++p) {
    for (uint32_t i = 0; i < count; ++i) {
      const std::wstring path = std::wstring(folder) + L"\\" + NumberedName(prefixes[p], i);
      if (!MivraUpdateRollBackDB(object, path.c_str(), i, digest, &code)) ++failures;
    }
  }
  MivraDeleteRBMdataObject(object);
  return Reported(failures);
}

int Remove(const wchar_t* prefix, uint32_t count) {
  int failures = 0;
  uint32_t code = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!MivraRemoveFromBackup(NumberedName(prefix, i).c_str(), &code)) ++failures;
  }
  return Reported(failures);
}

int Commit(const wchar_t* folder, const wchar_t* name, uint32_t rounds) {
  const std::wstring path = std::wstring(folder) + L"\\" + name;
  int failures = 0;
  for (uint32_t i = 0; i < rounds; ++i) {
    uint32_t code = 0;
    MdataObject* object = MivraCreateBkMdataObject(&code);
    const bool added = object && MivraAddToBackup(object, path.c_str(), &code);
    MivraDeleteBkMdataObject(object);
    if (!added || !MivraCommitBackup(&code)) ++failures;
  }
  return Reported(failures);
}

int Rollback(uint32_t rounds) {
  for (uint32_t i = 0; i < rounds; ++i) {
    uint8_t unused = 0;
    uint32_t code = 0;
    if (!MivraRollback(MIVRA_ROLLBACK_PERFORM, &unused, &code)) return code != 0 ? static_cast<int>(code) : 1;
  }
  return 0;
}

int Hold(const wchar_t* lockName, const wchar_t* readyEvent) {
  HANDLE lock = ::CreateMutexW(nullptr, FALSE, lockName);
  if (!lock) return kBadUsage;
  const DWORD waited = ::WaitForSingleObject(lock, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return kBadUsage;
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEvent);
  if (!ready) return kBadUsage;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}

bool Holds(const wchar_t* path, const std::string& text) {
  FILE* file = _wfopen(path, L"rb");
  if (!file) return false;
  char buffer[256] = {};
  const size_t got = std::fread(buffer, 1, sizeof(buffer), file);
  std::fclose(file);
  return std::string(buffer, got) == text;
}

int Service(const wchar_t* report, const wchar_t* watched, const wchar_t* text) {
  HANDLE readEvent = ::CreateEventA(nullptr, TRUE, FALSE, "Global\\ORV_SERVICE_UI_ReadEvent");
  HANDLE writeEvent = ::CreateEventA(nullptr, TRUE, FALSE, "Global\\ORV_SERVICE_UI_WriteEvent");
  if (!readEvent || !writeEvent) return kBadUsage;
  char narrow[256] = {};
  std::wcstombs(narrow, text, sizeof(narrow) - 1);
  // The rollback has put the file back: it is about to ask for the handshake, or already waits.
  for (int i = 0; i < 600 && !Holds(watched, narrow); ++i) ::Sleep(50);

  wchar_t* list = nullptr;
  uint32_t count = 0;
  uint32_t code = 0;
  const bool listed = MivraGetBkMdataFileList(&list, &count, &code);
  MivraFreeBkMdataFileList(list);
  if (FILE* out = _wfopen(report, L"wb")) {
    if (listed) std::fprintf(out, "listed");
    else std::fprintf(out, "failed %u", static_cast<unsigned>(code));
    std::fclose(out);
  }
  ::SetEvent(writeEvent);
  const bool answered = ::WaitForSingleObject(readEvent, 60000) == WAIT_OBJECT_0;
  ::CloseHandle(writeEvent);
  ::CloseHandle(readEvent);
  return listed && answered ? 0 : 1;
}

// One row per call, as the README's table of the unresolved install directory gives it.
class CallTable {
 public:
  void Row(const char* call, const char* result, uint32_t code) {
    rows_ += std::string("| `") + call + "` | " + result + " | " + (code == 0 ? "none" : std::to_string(code)) + " |\n";
  }
  void Row(const char* call, bool result, uint32_t code) { Row(call, result ? "1" : "0", code); }
  bool WriteTo(const wchar_t* path) const {
    FILE* out = _wfopen(path, L"wb");
    if (!out) return false;
    const bool written = std::fwrite(rows_.data(), 1, rows_.size(), out) == rows_.size();
    return std::fclose(out) == 0 && written;
  }

 private:
  std::string rows_;
};

int EveryExport(const wchar_t* report, const wchar_t* file) {
  CallTable table;
  // The code is read once the call has returned.
  auto record = [&table](const char* name, auto call) {
    uint32_t code = 0;
    const bool result = call(&code);
    table.Row(name, result, code);
  };
  auto recordObject = [&table](const char* name, MdataObject* (*create)(uint32_t*)) {
    uint32_t code = 0;
    MdataObject* object = create(&code);
    table.Row(name, object ? "object" : "null", code);
    MivraDeleteBkMdataObject(object);
  };
  const uint8_t digest[16] = {};
  uint8_t needed = 0;
  record("MivraAddToBackup(null, FILE)", [file](uint32_t* code) { return MivraAddToBackup(nullptr, file, code); });
  record("MivraRemoveFromBackup", [](uint32_t* code) { return MivraRemoveFromBackup(L"a.dll", code); });
  uint32_t deleteCode = 0;
  MivraDeleteBackup(&deleteCode);
  table.Row("MivraDeleteBackup", "-", deleteCode);
  record("MivraRollback(query)", [&needed](uint32_t* code) {
    return MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, code);
  });
  record("MivraRollback(perform)", [&needed](uint32_t* code) { return MivraRollback(MIVRA_ROLLBACK_PERFORM, &needed, code); });
  record("MivraCommitBackup", MivraCommitBackup);
  recordObject("MivraCreateBkMdataObject", MivraCreateBkMdataObject);
  record("MivraMarkUpdateStatus", [](uint32_t* code) { return MivraMarkUpdateStatus(1, code); });
  recordObject("MivraCreateRBMdataObject", MivraCreateRBMdataObject);
  record("MivraUpdateRollBackDB(null, FILE)",
         [file, &digest](uint32_t* code) { return MivraUpdateRollBackDB(nullptr, file, 1, digest, code); });
  record("MivraDeleteRollBackDB", MivraDeleteRollBackDB);
  table.Row("MivraIsFeatureOFF", MivraIsFeatureOFF(), 0);
  record("MivraGetBkMdataFileList", [](uint32_t* code) {
    wchar_t* list = nullptr;
    uint32_t count = 0;
    const bool listed = MivraGetBkMdataFileList(&list, &count, code);
    MivraFreeBkMdataFileList(list);
    return listed;
  });
  return table.WriteTo(report) ? 0 : kBadUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return kBadUsage;
  const std::wstring command = argv[1];
  if (command == L"register" && argc >= 6) {
    return Register(argv[2], Count(argv[3]), std::wstring(argv[4]) == L"object", argv + 5, argc - 5);
  }
  if (command == L"remove" && argc == 4) return Remove(argv[2], Count(argv[3]));
  if (command == L"commit" && argc == 5) return Commit(argv[2], argv[3], Count(argv[4]));
  if (command == L"rollback" && argc == 3) return Rollback(Count(argv[2]));
  if (command == L"hold" && argc == 4) return Hold(argv[2], argv[3]);
  if (command == L"service" && argc == 5) return Service(argv[2], argv[3], argv[4]);
  if (command == L"every-export" && argc == 4) return EveryExport(argv[2], argv[3]);
  return kBadUsage;
}
