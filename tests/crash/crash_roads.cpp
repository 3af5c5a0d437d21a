#include "crash/crash_roads.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "update/backup/bk_record_layout.h"
#include "update/backup/commit_journal.h"
#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/metadata_journal.h"
#include "update/store/metadata_store.h"

namespace crash_roads {
namespace {

using mivra_test::ReadFileBytes;
using mivra_test::WriteFileBytes;

const uint8_t kDigestA[16] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 1, 2, 3, 4, 5, 6, 7, 8};
const uint8_t kDigestB[16] = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8};

StepOutcome Outcome(bool ok, uint32_t code) { return {ok, code}; }

void Must(bool ok) {
  if (!ok) ::RaiseException(0xE0000001, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void Install(RoadContext& c, const wchar_t* name, const char* content) { WriteFileBytes(c.Installed(name), content); }

void Stage(RoadContext& c, std::initializer_list<const wchar_t*> names) {
  uint32_t code = kNoCode;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  Must(object != nullptr);
  for (const wchar_t* name : names) Must(MivraAddToBackup(object, c.Installed(name).c_str(), &code));
  MivraDeleteBkMdataObject(object);
}

void Commit() {
  uint32_t code = kNoCode;
  Must(MivraCommitBackup(&code));
}

void Register(RoadContext& c, const wchar_t* name, const uint8_t* digest) {
  uint32_t code = kNoCode;
  Must(MivraUpdateRollBackDB(nullptr, c.Installed(name).c_str(), 7, digest, &code));
}

const std::vector<uint32_t> kAddCodes = {MIVRA_E_BAD_PATH,       MIVRA_E_BKMDATA_OPEN,    MIVRA_E_BACKUP_FOLDER,
                                         MIVRA_E_NOT_IN_INSTALL_DIR, MIVRA_E_NO_MEMORY,   MIVRA_E_NAME_TOO_LONG,
                                         MIVRA_E_FILE_ATTRIBUTES, MIVRA_E_DIGEST,         MIVRA_E_RECORD_WRITE,
                                         MIVRA_E_PATH_TOO_LONG,   MIVRA_E_FILE_COPY};
const std::vector<uint32_t> kRegisterCodes = {MIVRA_E_BAD_PATH,  MIVRA_E_NOT_IN_INSTALL_DIR, MIVRA_E_NO_MEMORY,
                                              MIVRA_E_RBMDATA_OPEN, MIVRA_E_RB_NAME_TOO_LONG, MIVRA_E_RB_FILE_ATTRIBUTES,
                                              MIVRA_E_RB_RECORD_WRITE};

RoadStep AddStep(const wchar_t* name, bool withObject) {
  return {"add", [=](RoadContext& c) {
            uint32_t code = kNoCode;
            const bool ok = MivraAddToBackup(withObject ? c.object : nullptr, c.Installed(name).c_str(), &code);
            return Outcome(ok, code);
          },
          kAddCodes};
}

RoadStep ReleaseStep() {
  return {"release", [](RoadContext& c) {
            MivraDeleteBkMdataObject(c.object);
            c.object = nullptr;
            return Outcome(true, kNoCode);
          },
          {}};
}

std::vector<Road> BuildRoads() {
  std::vector<Road> roads;
  roads.push_back(Road{
      "stage",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha, as installed");
        Install(c, L"b.dll", "bravo");
        Stage(c, {L"b.dll"});
        Commit();
      },
      {{"create", [](RoadContext& c) {
          uint32_t code = kNoCode;
          c.object = MivraCreateBkMdataObject(&code);
          return Outcome(c.object != nullptr, code);
        },
        {MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, MIVRA_E_FOLDER_DELETE}},
       AddStep(L"a.dll", true), AddStep(L"n.dll", true), ReleaseStep()},
      {L"a.dll", L"b.dll", L"n.dll"}});
  roads.push_back(Road{
      "add",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Install(c, L"b.dll", "bravo, added later");
        Stage(c, {L"a.dll"});
        Commit();
      },
      {AddStep(L"b.dll", false), AddStep(L"n.dll", false)},
      {L"a.dll", L"b.dll", L"n.dll"}});
  roads.push_back(Road{
      "commit",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha, old");
        Stage(c, {L"a.dll"});
        Commit();
        Install(c, L"a.dll", "alpha, newer and longer");
        Install(c, L"b.dll", "bravo");
        Stage(c, {L"a.dll", L"b.dll"});
      },
      {{"commit", [](RoadContext&) {
          uint32_t code = kNoCode;
          const bool ok = MivraCommitBackup(&code);
          return Outcome(ok, code);
        },
        {MIVRA_E_BACKUP_FOLDER, MIVRA_E_FOLDER_DELETE, MIVRA_E_PATH_TOO_LONG, MIVRA_E_FOLDER_RENAME,
         MIVRA_E_BKMDATA_OPEN},
        false,
        {MIVRA_E_FOLDER_DELETE}}},
      {L"a.dll", L"b.dll"}});
  roads.push_back(Road{
      "remove",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Install(c, L"b.dll", "bravo");
        Stage(c, {L"a.dll", L"b.dll"});
        Commit();
      },
      {{"remove", [](RoadContext&) {
          uint32_t code = kNoCode;
          const bool ok = MivraRemoveFromBackup(L"a.dll", &code);
          return Outcome(ok, code);
        },
        {MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, MIVRA_E_RECORD_READ, MIVRA_E_RECORD_WRITE,
         MIVRA_E_NOT_IN_BACKUP, MIVRA_E_PATH_TOO_LONG, MIVRA_E_FOLDER_DELETE},
        false,
        {MIVRA_E_FOLDER_DELETE}}},
      {L"a.dll", L"b.dll"}});
  roads.push_back(Road{
      "delete backup",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Stage(c, {L"a.dll"});
        Commit();
      },
      {{"delete", [](RoadContext&) {
          uint32_t code = kNoCode;
          MivraDeleteBackup(&code);
          return Outcome(code == kNoCode, code);
        },
        {MIVRA_E_BACKUP_FOLDER, MIVRA_E_BKMDATA_OPEN},
        true}},
      {L"a.dll"}});
  roads.push_back(Road{
      "register",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Install(c, L"b.dll", "bravo");
        Register(c, L"a.dll", kDigestA);
      },
      {{"register", [](RoadContext& c) {
          uint32_t code = kNoCode;
          const bool ok = MivraUpdateRollBackDB(nullptr, c.Installed(L"b.dll").c_str(), 5, kDigestB, &code);
          return Outcome(ok, code);
        },
        kRegisterCodes},
       {"open", [](RoadContext& c) {
          uint32_t code = kNoCode;
          c.object = MivraCreateRBMdataObject(&code);
          return Outcome(c.object != nullptr, code);
        },
        {MIVRA_E_RBMDATA_OPEN}},
       {"register again", [](RoadContext& c) {
          uint32_t code = kNoCode;
          const bool ok = MivraUpdateRollBackDB(c.object, c.Installed(L"a.dll").c_str(), 9, kDigestB, &code);
          return Outcome(ok, code);
        },
        kRegisterCodes},
       ReleaseStep()},
      {L"a.dll", L"b.dll"}});
  roads.push_back(Road{
      "mark status",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Register(c, L"a.dll", kDigestA);
      },
      {{"mark", [](RoadContext&) {
          uint32_t code = kNoCode;
          const bool ok = MivraMarkUpdateStatus(1, &code);
          return Outcome(ok, code);
        },
        {MIVRA_E_RBMDATA_OPEN, kNoCode}}},
      {L"a.dll"}});
  roads.push_back(Road{
      "delete database",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha");
        Register(c, L"a.dll", kDigestA);
      },
      {{"delete", [](RoadContext&) {
          uint32_t code = kNoCode;
          const bool ok = MivraDeleteRollBackDB(&code);
          return Outcome(ok, code);
        },
        {MIVRA_E_BACKUP_FOLDER, MIVRA_E_PATH_TOO_LONG, MIVRA_E_RB_RESET, MIVRA_E_RBMDATA_OPEN, kNoCode},
        true}},
      {L"a.dll"}});
  roads.push_back(Road{
      "rollback",
      [](RoadContext& c) {
        Install(c, L"a.dll", "alpha v1");
        Install(c, L"b.dll", "bravo v1");
        Stage(c, {L"a.dll", L"b.dll", L"n.dll"});
        Commit();
        Install(c, L"a.dll", "alpha v2, as the update left it");
        ::DeleteFileW(c.Installed(L"b.dll").c_str());
        Install(c, L"n.dll", "new with the update");
        Register(c, L"a.dll", kDigestA);
        Register(c, L"n.dll", kDigestB);
        uint32_t code = kNoCode;
        Must(MivraMarkUpdateStatus(1, &code));
      },
      {{"perform", [](RoadContext&) {
          uint32_t code = kNoCode;
          const bool ok = MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code);
          return Outcome(ok, code);
        },
        {MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, MIVRA_E_RBMDATA_OPEN, MIVRA_E_BACKUP_DAMAGED,
         MIVRA_E_BACKUP_CHECK, MIVRA_E_RESTORE_PREPARE, MIVRA_E_RESTORE_APPLY, MIVRA_E_RB_STATUS_READ,
         MIVRA_E_RB_REBUILD, MIVRA_E_ROLLBACK_LIMIT}}},
      {L"a.dll", L"b.dll", L"n.dll"},
      true});
  return roads;
}

RawFile ReadRaw(const std::wstring& path) {
  RawFile file;
  file.bytes = ReadFileBytes(path);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) file.written = data.ftLastWriteTime;
  return file;
}

void WriteRaw(const std::wstring& path, const RawFile& file) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!file.bytes.empty()) ::WriteFile(handle, file.bytes.data(), static_cast<DWORD>(file.bytes.size()), &written, nullptr);
  ::SetFileTime(handle, nullptr, nullptr, &file.written);
  ::CloseHandle(handle);
}

void ListTree(const std::wstring& root, const std::wstring& relative, RawState* state) {
  WIN32_FIND_DATAW found = {};
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      state->folders.push_back(path);
      ListTree(root, path, state);
    } else {
      state->baseFiles[path] = ReadRaw(root + L"\\" + path);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

void ViewBackup(const std::wstring& folder, const std::wstring& label, bool staging, StateView* view) {
  const std::wstring metadataPath = folder + L"\\bkmdata.dat";
  // A staging folder without metadata is what a failed start of a staging backup leaves; the
  // next start discards it as it would any staging folder.
  if (!mivra_test::FileExists(folder) || (staging && !mivra_test::FileExists(metadataPath))) return;
  view->entries[label] = "";
  if (!mivra_test::FileExists(metadataPath)) return;
  std::string metadata = ReadFileBytes(metadataPath);
  if (metadata.size() >= mivra_test::kBkAreaOffset) {
    // The creation time is the clock's, different in every run.
    std::fill(metadata.begin() + mivra_test::kBkCreatedAt, metadata.begin() + mivra_test::kBkStateFlagsAt, '\0');
    if (metadata[mivra_test::kBkStateFlagsAt] & 1) {
      view->damaged = true;
      metadata[mivra_test::kBkStateFlagsAt] &= ~1;
    }
  }
  view->entries[label + L"\\bkmdata.dat"] = metadata;
  for (const mivra_test::MetadataRecord& record : mivra_test::RecordsOf(mivra_test::kBkLayout, metadata)) {
    // Only live records promise a copy; a removed or absent one may or may not still lie there.
    if (record.flags & 3) continue;
    view->entries[label + L"\\" + record.name] = ReadFileBytes(folder + L"\\" + record.name);
  }
}

std::string CheckMetadata(const std::wstring& path, const mivra_test::MetadataFileLayout& layout, const char* magic) {
  if (!mivra_test::FileExists(path)) return "";
  const std::string bytes = ReadFileBytes(path);
  if (bytes.size() < layout.areaOffset || bytes.compare(0, 6, magic) != 0) return "header";
  if (!mivra_test::CrcMatches(layout, bytes)) return "crc";
  if (bytes.size() != layout.areaOffset + size_t{mivra_test::RecordCount(layout, bytes)} * layout.recordBytes) {
    return "record count";
  }
  return "";
}

}  // namespace

const std::vector<Road>& Roads() {
  static const std::vector<Road> roads = BuildRoads();
  return roads;
}

const Road* FindRoad(const std::string& name) {
  for (const Road& road : Roads()) {
    if (name == road.name) return &road;
  }
  return nullptr;
}

RoadRun RunRoad(const Road& road, RoadContext& context) {
  RoadRun run;
  for (const RoadStep& step : road.steps) {
    const StepOutcome outcome = step.run(context);
    if (outcome.ok) {
      if (outcome.code != kNoCode) run.successUntouched = false;
      ++run.succeeded;
      continue;
    }
    run.failed = true;
    run.failure = outcome;
    run.failedStep = step.name;
    run.codeDocumented = std::find(step.codes.begin(), step.codes.end(), outcome.code) != step.codes.end();
    break;
  }
  if (context.object) {
    MivraDeleteBkMdataObject(context.object);
    context.object = nullptr;
  }
  return run;
}

RawState CaptureRaw(const std::wstring& base, const std::wstring& installDir, const Road& road) {
  RawState state;
  ListTree(base, L"", &state);
  for (const wchar_t* name : road.installedNames) {
    const std::wstring path = installDir + name;
    if (mivra_test::FileExists(path)) state.installed[name] = ReadRaw(path);
  }
  return state;
}

void RestoreRaw(const RawState& state, const std::wstring& base, const std::wstring& installDir, const Road& road) {
  mivra_test::RemoveTree(base);
  mivra_test::MakeFolder(base);
  for (const std::wstring& folder : state.folders) mivra_test::MakeFolder(base + L"\\" + folder);
  for (const auto& [path, file] : state.baseFiles) WriteRaw(base + L"\\" + path, file);
  // Temporary and moved-aside files a walk left behind would change the next one.
  WIN32_FIND_DATAW found = {};
  HANDLE search = ::FindFirstFileW((installDir + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || _wcsicmp(name.c_str(), L"prdinf.dll") == 0 ||
          _wcsicmp(name.c_str(), L"LBLRES.DLL") == 0) {
        continue;
      }
      ::SetFileAttributesW((installDir + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW((installDir + name).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  for (const wchar_t* name : road.installedNames) {
    const auto it = state.installed.find(name);
    if (it != state.installed.end()) WriteRaw(installDir + name, it->second);
  }
}

StateView ViewOf(const std::wstring& base, const std::wstring& installDir, const Road& road) {
  StateView view;
  ViewBackup(base + L"\\bkup", L"bkup", false, &view);
  ViewBackup(base + L"\\tmpbkup", L"tmpbkup", true, &view);
  const std::wstring database = base + L"\\rbmdata.dat";
  if (mivra_test::FileExists(database)) {
    std::string bytes = ReadFileBytes(database);
    if (road.restoresInstalledFiles && bytes.size() >= mivra_test::kRBAreaOffset) {
      // The rebuilt records hold the restored files' times, which are those of their placing;
      // the CRC covers them.
      std::fill(bytes.begin() + mivra_test::kCrcAt, bytes.begin() + mivra_test::kCrcAt + 4, '\0');
      for (size_t at = mivra_test::kRBAreaOffset; at + mivra_test::kRBRecordBytes <= bytes.size();
           at += mivra_test::kRBRecordBytes) {
        const size_t time = at + mivra_test::kRBLayout.timeAt;
        std::fill(bytes.begin() + time, bytes.begin() + time + 16, '\0');
      }
    }
    view.entries[L"rbmdata.dat"] = bytes;
  }
  if (!road.restoresInstalledFiles) {
    for (const wchar_t* name : road.installedNames) {
      const std::wstring path = installDir + name;
      view.entries[std::wstring(L"install\\") + name] =
          mivra_test::FileExists(path) ? ReadFileBytes(path) : std::string("(none)");
    }
  }
  return view;
}

bool RecoverAndValidate(const std::wstring& base, std::string* problem) {
  mivra::RecoverInterruptedCommit(true);
  const struct {
    std::wstring path;
    const mivra_test::MetadataFileLayout* layout;
    const char* magic;
    const mivra::MetadataFormat* format;
  } kFiles[] = {{base + L"\\bkup\\bkmdata.dat", &mivra_test::kBkLayout, "KVBKUP", &mivra::kBkMdataFormat},
                {base + L"\\tmpbkup\\bkmdata.dat", &mivra_test::kBkLayout, "KVBKUP", &mivra::kBkMdataFormat},
                {base + L"\\rbmdata.dat", &mivra_test::kRBLayout, "KVRBUP", &mivra::kRBMdataFormat}};
  for (const auto& file : kFiles) {
    const bool kept = file.layout == &mivra_test::kRBLayout;
    const mivra::JournalRecovery recovery = mivra::RecoverJournal(file.path.c_str(), kept);
    if (recovery == mivra::JournalRecovery::kInUse || recovery == mivra::JournalRecovery::kFailed) {
      *problem = "journal of a metadata file could not be recovered";
      return false;
    }
    // The database keeps its journal, emptied; a backup folder keeps none.
    const std::wstring journal = file.path.substr(0, file.path.size() - 4) + L".jnl";
    if (kept ? !mivra::JournalHoldsNothing(file.path.c_str()) : mivra_test::FileExists(journal)) {
      *problem = "journal left beside a metadata file";
      return false;
    }
    // An append cut off before its commit point is cut off the file by the next open.
    if (mivra_test::FileExists(file.path)) {
      const int fd = _wopen(file.path.c_str(), _O_RDWR | _O_BINARY);
      const mivra::AppendCut cut =
          fd == -1 ? mivra::AppendCut::kFailed : mivra::CutUnfinishedAppend(fd, *file.format, file.path.c_str());
      if (fd != -1) _close(fd);
      if (cut == mivra::AppendCut::kFailed) {
        *problem = "an unfinished append could not be cut off";
        return false;
      }
    }
    const std::string verdict = CheckMetadata(file.path, *file.layout, file.magic);
    if (!verdict.empty()) {
      *problem = "metadata file invalid: " + verdict;
      return false;
    }
  }
  return true;
}

}  // namespace crash_roads
