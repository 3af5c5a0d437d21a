#include <memory>

#include "mivra.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"
#include "update/rollbackdb/create_rb_object.h"
#include "update/rollbackdb/delete_rollback_db.h"
#include "update/rollbackdb/mark_update_status.h"
#include "update/rollbackdb/update_rollback_db.h"
#include "update/store/mdata_object.h"

using mivra::ExportTrace;
using mivra::EnterCall;
using mivra::Fail;
using mivra::Finish;

namespace {

// Each result type meets its codes in one switch: success returns true, every failure writes its
// one code (or, where the interface says so, none) and returns false.

bool Finish(mivra::RBUpdateResult result, uint32_t* errorCode) {
  using mivra::RBUpdateResult;
  switch (result) {
    case RBUpdateResult::kWritten: return true;
    case RBUpdateResult::kOutsideInstallDir: return Fail(errorCode, MIVRA_E_NOT_IN_INSTALL_DIR);
    case RBUpdateResult::kNoMemory: return Fail(errorCode, MIVRA_E_NO_MEMORY);
    case RBUpdateResult::kOpenFailed: return Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
    case RBUpdateResult::kBadPath: return Fail(errorCode, MIVRA_E_BAD_PATH);
    case RBUpdateResult::kNoAttributes: return Fail(errorCode, MIVRA_E_RB_FILE_ATTRIBUTES);
    case RBUpdateResult::kNameTooLong: return Fail(errorCode, MIVRA_E_RB_NAME_TOO_LONG);
    case RBUpdateResult::kWriteFailed: return Fail(errorCode, MIVRA_E_RB_RECORD_WRITE);
    case RBUpdateResult::kWrongObject: return Fail(errorCode, MIVRA_E_RB_RECORD_WRITE);
  }
  return Fail(errorCode, MIVRA_E_RB_RECORD_WRITE);
}

bool Finish(mivra::MarkStatusResult result, uint32_t* errorCode) {
  using mivra::MarkStatusResult;
  switch (result) {
    case MarkStatusResult::kMarked: return true;
    case MarkStatusResult::kOpenFailed: return Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
    // The status byte cannot be read or written: no code.
    case MarkStatusResult::kStateIoFailed: return false;
  }
  return false;
}

bool Finish(mivra::RBDeleteResult result, uint32_t* errorCode) {
  using mivra::RBDeleteResult;
  switch (result) {
    case RBDeleteResult::kDeleted: return true;
    case RBDeleteResult::kDeleteAtRestart: return true;
    case RBDeleteResult::kNoBaseFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case RBDeleteResult::kPathTooLong: return Fail(errorCode, MIVRA_E_PATH_TOO_LONG);
    case RBDeleteResult::kNotDeleted: return Fail(errorCode, MIVRA_E_RB_RESET);
    // There was no database to delete: no code.
    case RBDeleteResult::kMissing: return false;
  }
  return false;
}

bool MarkStatus(uint8_t status, uint32_t* errorCode) try {
  if (status != 1 && status != 2) return false;
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, MIVRA_E_RBMDATA_OPEN)) return false;
  return Finish(mivra::MarkUpdateStatus(status), errorCode);
} catch (...) {
  return false;
}

MdataObject* CreateRBMdataObject(uint32_t* errorCode) try {
  if (!errorCode) return nullptr;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, MIVRA_E_RBMDATA_OPEN)) return nullptr;
  std::unique_ptr<MdataObject> object;
  if (!Finish(mivra::CreateRBObject(&object), errorCode)) return nullptr;
  return object.release();
} catch (...) {
  return nullptr;
}

bool UpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize, const uint8_t* digest,
                      uint32_t* errorCode) try {
  if (!filePath || !digest || !errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, MIVRA_E_RBMDATA_OPEN, !object)) return false;
  return Finish(mivra::UpdateRollbackDB(object, filePath, fileSize, digest), errorCode);
} catch (...) {
  return false;
}

bool DeleteRollBackDB(uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, MIVRA_E_BACKUP_FOLDER)) return false;
  return Finish(mivra::DeleteRollbackDB(), errorCode);
} catch (...) {
  return false;
}

}  // namespace

// Each export traces its call around the body above.

extern "C" bool MivraMarkUpdateStatus(uint8_t status, uint32_t* errorCode) {
  ExportTrace call("MivraMarkUpdateStatus");
  call.Arguments().Number("status", status).IfNull("error", errorCode);
  return call.Returns(MarkStatus(status, errorCode));
}

extern "C" MdataObject* MivraCreateRBMdataObject(uint32_t* errorCode) {
  ExportTrace call("MivraCreateRBMdataObject");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(CreateRBMdataObject(errorCode));
}

extern "C" bool MivraUpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize,
                                      const uint8_t* digest, uint32_t* errorCode) {
  ExportTrace call("MivraUpdateRollBackDB");
  call.Arguments()
      .Pointer("object", object)
      .Path("path", filePath)
      .Number("size", fileSize)
      .Bytes("digest", digest, 16)
      .IfNull("error", errorCode);
  return call.Returns(UpdateRollBackDB(object, filePath, fileSize, digest, errorCode));
}

extern "C" bool MivraDeleteRollBackDB(uint32_t* errorCode) {
  ExportTrace call("MivraDeleteRollBackDB");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(DeleteRollBackDB(errorCode));
}
