/* Calls every export through the public header and nothing else: linked without any runtime
 * against an import library, its import table shows what that library offers. */
#include "mivra.h"

typedef void (*AnyFunction)(void);

int ImportLibraryProbe(void) {
  static volatile AnyFunction used[] = {
      (AnyFunction)MivraAddToBackup,         (AnyFunction)MivraRemoveFromBackup,
      (AnyFunction)MivraDeleteBackup,        (AnyFunction)MivraRollback,
      (AnyFunction)MivraCommitBackup,        (AnyFunction)MivraCreateBkMdataObject,
      (AnyFunction)MivraDeleteBkMdataObject, (AnyFunction)MivraMarkUpdateStatus,
      (AnyFunction)MivraCreateRBMdataObject, (AnyFunction)MivraDeleteRBMdataObject,
      (AnyFunction)MivraUpdateRollBackDB,    (AnyFunction)MivraDeleteRollBackDB,
      (AnyFunction)MivraIsFeatureOFF,        (AnyFunction)MivraGetBkMdataFileList,
      (AnyFunction)MivraFreeBkMdataFileList,
  };
  return used[0] != 0;
}
