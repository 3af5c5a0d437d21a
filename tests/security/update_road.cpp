#include "security/update_road.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "mivra.h"

namespace security_test {

void UpdateRoadTest::Register(std::initializer_list<std::wstring> names) const {
  const uint8_t digest[16] = {0x5e, 0xc1};
  for (const std::wstring& name : names) {
    uint32_t code = kUntouched;
    const uint32_t size = static_cast<uint32_t>(Installed(name).size());
    EXPECT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(name).c_str(), size, digest, &code)) << code;
  }
}

void UpdateRoadTest::MarkStatus(uint8_t status) const {
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraMarkUpdateStatus(status, &code)) << code;
}

void UpdateRoadTest::PrepareCommittedUpdate() const {
  Install(L"a.dll", "alpha v1");
  Install(L"b.dll", "bravo v1");
  CommitBackupOf({L"a.dll", L"n.dll"});
  Install(L"a.dll", "alpha v2");
  Register({L"a.dll"});
  MarkStatus(1);
}

void PrintTo(const Outcome& outcome, std::ostream* os) {
  *os << (outcome.ok ? "ok" : "failed");
  if (outcome.code != kUntouched) *os << " with " << outcome.code;
}

namespace {

// Taken after the call, never beside it in one argument list: the order of arguments is not fixed.
Outcome Result(bool ok, uint32_t code) { return {ok, code}; }

}  // namespace

const std::vector<ExportCall> kCalls = {
    {"create staging object", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MdataObject* object = MivraCreateBkMdataObject(&code);
       MivraDeleteBkMdataObject(object);
       return Result(object != nullptr, code);
     }},
    {"add with object", [](MdataObject* staging, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const bool ok = MivraAddToBackup(staging, (dir + L"b.dll").c_str(), &code);
       return Result(ok, code);
     },
     true},
    {"add", [](MdataObject*, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const bool ok = MivraAddToBackup(nullptr, (dir + L"b.dll").c_str(), &code);
       return Result(ok, code);
     }},
    {"remove", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraRemoveFromBackup(L"a.dll", &code);
       return Result(ok, code);
     }},
    {"delete backup", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MivraDeleteBackup(&code);
       return Result(code == kUntouched, code);
     }},
    {"commit", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraCommitBackup(&code);
       return Result(ok, code);
     }},
    {"list", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       wchar_t* list = nullptr;
       uint32_t count = 0;
       const bool ok = MivraGetBkMdataFileList(&list, &count, &code);
       MivraFreeBkMdataFileList(list);
       return Result(ok, code);
     }},
    {"query", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       uint8_t needed = 0;
       const bool ok = MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &code);
       return Result(ok, code);
     }},
    {"rollback", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code);
       return Result(ok, code);
     }},
    {"register", [](MdataObject*, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const uint8_t digest[16] = {};
       const bool ok = MivraUpdateRollBackDB(nullptr, (dir + L"b.dll").c_str(), 8, digest, &code);
       return Result(ok, code);
     }},
    {"open database", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MdataObject* object = MivraCreateRBMdataObject(&code);
       MivraDeleteRBMdataObject(object);
       return Result(object != nullptr, code);
     }},
    {"mark status", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraMarkUpdateStatus(2, &code);
       return Result(ok, code);
     }},
    {"delete database", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraDeleteRollBackDB(&code);
       return Result(ok, code);
     }},
};

std::string CaseNameOf(const char* what, int callIndex) {
  std::string name = std::string(what) + "_" + kCalls[callIndex].name;
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  return name;
}

const ExportCall& CallNamed(const char* name) {
  for (const ExportCall& call : kCalls) {
    if (std::strcmp(call.name, name) == 0) return call;
  }
  throw std::invalid_argument(name);
}

}  // namespace security_test
