#include "update/rollback/registered_file_check.h"

#include "update/digest/file_digest.h"
#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"
#include "update/store/metadata_format.h"

namespace mivra {
namespace {

class InstallDirProbe : public InstalledFileProbe {
 public:
  InstallDirProbe(const wchar_t* installDir, RegisteredFileCheck* check) : installDir_(installDir), check_(check) {}

  bool Locate(std::wstring_view name) override { return BoundedConcat(path_, {installDir_, name}); }
  bool ReadFacts(InstalledFile* facts) override {
    state_ = ReadPresentFileSizeAndTime(path_, &facts->sizeLow, &facts->localWriteTime);
    check_->found = state_ == PathState::kPresent;
    if (check_->found) check_->installed = *facts;
    return check_->found;
  }
  bool ProvedMissing() override { return state_ == PathState::kAbsent; }
  bool TakeDigest(uint8_t (&digest)[16]) override { return GetFileDigest(path_, digest); }

 private:
  const wchar_t* installDir_;
  RegisteredFileCheck* check_;
  wchar_t path_[kPathCapacity] = {};
  PathState state_ = PathState::kUnknown;
};

}  // namespace

RegisteredFileCheck CheckRegisteredFile(const wchar_t* installDir, const RBMdataRecord& record,
                                        const std::vector<std::string>* componentNames) {
  RegisteredFileCheck check;
  check.name = RecordFieldName(record.fileName);
  InstallDirProbe probe(installDir, &check);
  check.judgement = JudgeRegisteredFile(record, IsExemptName(check.name, componentNames), probe);
  return check;
}

}  // namespace mivra
