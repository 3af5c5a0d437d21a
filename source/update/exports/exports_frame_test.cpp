// The frame every export shares, called through the DLL: null arguments, the feature switch, and
// the error variable written only with a real code on failure.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "mivra.h"
#include "support/file_util.h"
#include "support/product_test.h"

namespace {

// What the caller's error variable holds before each call.
constexpr uint32_t kUntouched = 0xC0DEC0DEu;

constexpr char kSwitchOff[] = "[UPDATE]\r\nMIVRA=0\r\n";

const uint8_t kDigest[16] = {};

// One export, called with the given error pointer; true when it reported success.
struct ExportCall {
  const char* name;
  std::function<bool(uint32_t* errorCode)> call;
};

bool Released(MdataObject* object) {
  MivraDeleteBkMdataObject(object);
  return object != nullptr;
}

class ExportFrameTest : public mivra_test::ProductTest {
 protected:
  void SetUp() override {
    ProductTest::SetUp();
    file_ = InstallPath(L"product.dat");
    mivra_test::WriteFileBytes(file_, "product");
  }

  // Every export that takes an error pointer, with its other arguments valid.
  std::vector<ExportCall> ExportsWithErrorPointer() const {
    const wchar_t* file = file_.c_str();
    return {
        {"MivraAddToBackup", [file](uint32_t* e) { return MivraAddToBackup(nullptr, file, e); }},
        {"MivraRemoveFromBackup", [](uint32_t* e) { return MivraRemoveFromBackup(L"product.dat", e); }},
        {"MivraDeleteBackup", [](uint32_t* e) { return MivraDeleteBackup(e), false; }},
        {"MivraRollback (perform)", [](uint32_t* e) { return MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, e); }},
        {"MivraRollback (query)",
         [](uint32_t* e) {
           uint8_t needed = 0;
           return MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, e);
         }},
        {"MivraCommitBackup", [](uint32_t* e) { return MivraCommitBackup(e); }},
        {"MivraCreateBkMdataObject", [](uint32_t* e) { return Released(MivraCreateBkMdataObject(e)); }},
        {"MivraMarkUpdateStatus(1)", [](uint32_t* e) { return MivraMarkUpdateStatus(1, e); }},
        {"MivraMarkUpdateStatus(2)", [](uint32_t* e) { return MivraMarkUpdateStatus(2, e); }},
        {"MivraCreateRBMdataObject", [](uint32_t* e) { return Released(MivraCreateRBMdataObject(e)); }},
        {"MivraUpdateRollBackDB", [file](uint32_t* e) { return MivraUpdateRollBackDB(nullptr, file, 7, kDigest, e); }},
        {"MivraDeleteRollBackDB", [](uint32_t* e) { return MivraDeleteRollBackDB(e); }},
        {"MivraGetBkMdataFileList",
         [](uint32_t* e) {
           wchar_t* list = nullptr;
           uint32_t count = 0;
           const bool listed = MivraGetBkMdataFileList(&list, &count, e);
           MivraFreeBkMdataFileList(list);
           return listed;
         }},
    };
  }

  // The library's folders under Common Files: a call that fails at its frame creates none.
  bool LibraryFoldersExist() const {
    return mivra_test::FileExists(BaseFolder()) ||
           mivra_test::FileExists(mivra_test::BaseFolderFor(mivra_test::kResourceCompany, mivra_test::kResourceProduct));
  }

  std::wstring file_;
};

// With the switch off, an export that read the switch before checking its error pointer would
// write through null.
TEST_F(ExportFrameTest, NullErrorPointerFailsAndTouchesNothing) {
  for (const char* ini : {static_cast<const char*>(nullptr), kSwitchOff}) {
    WriteSwitchFile(ini);
    for (const ExportCall& c : ExportsWithErrorPointer()) {
      EXPECT_FALSE(c.call(nullptr)) << c.name << (ini ? ", switched off" : "");
    }
    EXPECT_FALSE(LibraryFoldersExist());
    EXPECT_EQ(mivra_test::ReadFileBytes(file_), "product");
  }
}

TEST_F(ExportFrameTest, NullRequiredArgumentFailsWithoutCode) {
  WriteSwitchFile(kSwitchOff);
  const wchar_t* file = file_.c_str();
  const ExportCall kCalls[] = {
      {"MivraAddToBackup without path", [](uint32_t* e) { return MivraAddToBackup(nullptr, nullptr, e); }},
      {"MivraRemoveFromBackup without name", [](uint32_t* e) { return MivraRemoveFromBackup(nullptr, e); }},
      {"MivraUpdateRollBackDB without path",
       [](uint32_t* e) { return MivraUpdateRollBackDB(nullptr, nullptr, 7, kDigest, e); }},
      {"MivraUpdateRollBackDB without digest",
       [file](uint32_t* e) { return MivraUpdateRollBackDB(nullptr, file, 7, nullptr, e); }},
      {"MivraMarkUpdateStatus(0)", [](uint32_t* e) { return MivraMarkUpdateStatus(0, e); }},
      {"MivraMarkUpdateStatus(3)", [](uint32_t* e) { return MivraMarkUpdateStatus(3, e); }},
  };
  for (const ExportCall& c : kCalls) {
    uint32_t code = kUntouched;
    EXPECT_FALSE(c.call(&code)) << c.name;
    EXPECT_EQ(code, kUntouched) << c.name;
  }
  EXPECT_FALSE(LibraryFoldersExist());

  // A query meets the switch before it looks for its out-flag, as every query does.
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraRollback(0, nullptr, &code));
  EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
  EXPECT_FALSE(LibraryFoldersExist());
}

TEST_F(ExportFrameTest, FileListRefusesMissingPointersWithoutWritingThroughThem) {
  uint32_t count = 5;
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraGetBkMdataFileList(nullptr, &count, &code));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(code, kUntouched);

  wchar_t placeholder[1] = {};
  wchar_t* list = placeholder;
  EXPECT_FALSE(MivraGetBkMdataFileList(&list, nullptr, &code));
  EXPECT_EQ(list, nullptr) << "the list is cleared before anything else";
  EXPECT_EQ(code, kUntouched);

  list = placeholder;
  EXPECT_FALSE(MivraGetBkMdataFileList(&list, &count, nullptr));
  EXPECT_EQ(list, nullptr);
  EXPECT_FALSE(LibraryFoldersExist());
}

TEST_F(ExportFrameTest, ReleasingNothingDoesNothing) {
  MivraDeleteBkMdataObject(nullptr);
  MivraDeleteRBMdataObject(nullptr);
  MivraFreeBkMdataFileList(nullptr);
  EXPECT_FALSE(LibraryFoldersExist());
}

TEST_F(ExportFrameTest, SwitchedOffExportsFailWithFeatureOffBeforeTouchingFiles) {
  WriteSwitchFile(kSwitchOff);
  ASSERT_TRUE(MivraIsFeatureOFF());
  for (const ExportCall& c : ExportsWithErrorPointer()) {
    uint32_t code = kUntouched;
    const bool succeeded = c.call(&code);
    if (std::string(c.name) == "MivraGetBkMdataFileList") {
      EXPECT_NE(code, MIVRA_E_FEATURE_OFF) << "listing does not consult the switch";
      continue;
    }
    EXPECT_FALSE(succeeded) << c.name;
    EXPECT_EQ(code, MIVRA_E_FEATURE_OFF) << c.name;
  }
  EXPECT_FALSE(LibraryFoldersExist());
  EXPECT_EQ(mivra_test::ReadFileBytes(file_), "product");
}

// Holds as the exports gain their work: success leaves the variable alone, failure writes a code
// from the table, and 0 is never written.
TEST_F(ExportFrameTest, ErrorVariableHoldsOnlyRealCodes) {
  for (const ExportCall& c : ExportsWithErrorPointer()) {
    uint32_t code = kUntouched;
    const bool succeeded = c.call(&code);
    const bool queryMayReportNoBackup = std::string(c.name) == "MivraRollback (query)" && code == MIVRA_E_NO_BACKUP;
    if (succeeded && !queryMayReportNoBackup) {
      EXPECT_EQ(code, kUntouched) << c.name;
    } else if (code != kUntouched) {
      EXPECT_GE(code, MIVRA_E_BAD_PATH) << c.name;
      EXPECT_LE(code, MIVRA_E_ROLLBACK_LIMIT) << c.name;
      EXPECT_NE(code, 122u) << c.name;
      EXPECT_NE(code, 123u) << c.name;
    }
  }
}

}  // namespace
