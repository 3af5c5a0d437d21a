#include "mivra.h"
#include "update/backup/mdata_object.h"
#include "update/frame/export_frame.h"
#include "update/frame/feature_switch.h"

using mivra::Fail;
using mivra::IsFeatureOff;

// Not built yet: each export keeps its frame and fails without a code.

extern "C" bool MivraMarkUpdateStatus(uint8_t status, uint32_t* errorCode) {
  if (status != 1 && status != 2) return false;
  if (!errorCode) return false;
  if (IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}

extern "C" MdataObject* MivraCreateRBMdataObject(uint32_t* errorCode) {
  if (!errorCode) return nullptr;
  if (IsFeatureOff()) {
    Fail(errorCode, MIVRA_E_FEATURE_OFF);
    return nullptr;
  }
  return nullptr;
}

extern "C" bool MivraUpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize,
                                      const uint8_t* digest, uint32_t* errorCode) {
  (void)fileSize;
  if (!filePath || !digest || !errorCode) return false;
  if (!object && IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}

extern "C" bool MivraDeleteRollBackDB(uint32_t* errorCode) {
  if (!errorCode) return false;
  if (IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  return false;
}
