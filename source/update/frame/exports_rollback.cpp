#include "mivra.h"
#include "update/frame/export_frame.h"

// Not built yet: the export keeps its frame and fails without a code. The switch is met through
// the rollback database object, as in the finished export.
extern "C" bool MivraRollback(uint32_t flags, uint8_t* outFlag, uint32_t* errorCode) {
  if (!errorCode) return false;
  if (!(flags & MIVRA_ROLLBACK_PERFORM) && !outFlag) return false;
  MdataObject* database = MivraCreateRBMdataObject(errorCode);
  if (!database) return false;
  MivraDeleteBkMdataObject(database);
  return false;
}
