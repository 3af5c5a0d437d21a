#include <cstdlib>

#include "mivra.h"
#include "update/backup/mdata_object.h"
#include "update/frame/export_frame.h"
#include "update/frame/feature_switch.h"

using mivra::Fail;
using mivra::IsFeatureOff;

// Not built yet: each export keeps its frame and fails without a code.

extern "C" bool MivraAddToBackup(MdataObject* object, const wchar_t* filePath, uint32_t* errorCode) {
  if (!filePath || !errorCode) return false;
  if (!object && IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}

extern "C" bool MivraRemoveFromBackup(const wchar_t* fileName, uint32_t* errorCode) {
  if (!fileName || !errorCode) return false;
  if (IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}

extern "C" void MivraDeleteBackup(uint32_t* errorCode) {
  if (!errorCode) return;
  if (IsFeatureOff()) Fail(errorCode, MIVRA_E_FEATURE_OFF);
}

extern "C" bool MivraCommitBackup(uint32_t* errorCode) {
  if (!errorCode) return false;
  if (IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}

extern "C" MdataObject* MivraCreateBkMdataObject(uint32_t* errorCode) {
  if (!errorCode) return nullptr;
  if (IsFeatureOff()) {
    Fail(errorCode, MIVRA_E_FEATURE_OFF);
    return nullptr;
  }
  return nullptr;
}

extern "C" void MivraDeleteBkMdataObject(MdataObject* object) {
  if (!object) return;
  object->Close();
  delete object;
}

extern "C" bool MivraGetBkMdataFileList(wchar_t** list, uint32_t* count, uint32_t* errorCode) {
  if (!list) return false;
  *list = nullptr;
  if (!count || !errorCode) return false;
  *count = 0;
  return false;
}

extern "C" void MivraFreeBkMdataFileList(void* list) { std::free(list); }
