/* mivra.dll: makes an update of the installed product reversible.
 *
 * Every export reports failure through the error variable passed as its last argument; the
 * variable is written only on failure (the query mode of MivraRollback also writes
 * MIVRA_E_NO_BACKUP with a true result). Initialise it before the call: 0 is never written. */
#ifndef MIVRA_H_
#define MIVRA_H_

#include <stdbool.h>
#include <stdint.h>
#include <wchar.h>

#include "mivra_errors.h"  /* the MIVRA_E_* codes */
#include "mivra_version.h" /* MIVRA_VERSION_MAJOR, _MINOR, _PATCH, _TEXT and _NUMBER */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(MIVRA_BUILDING_DLL) || !defined(_WIN32)
#define MIVRA_API
#else
#define MIVRA_API __declspec(dllimport)
#endif

/* Handle of one open metadata file (backup or rollback database). Opaque to callers. */
typedef struct MdataObject MdataObject;

/* MivraRollback flags. */
#define MIVRA_ROLLBACK_PERFORM      0x1u /* set: restore; clear: query */
#define MIVRA_ROLLBACK_INTERRUPTED  0x2u /* query: the stored update status is 1 */
#define MIVRA_ROLLBACK_CHANGED      0x4u /* query: a registered file changed behind its recorded time */

/* Ordinal 1: backs up one file of the install directory (object null: into the committed backup). */
MIVRA_API bool MivraAddToBackup(MdataObject* object, const wchar_t* filePath, uint32_t* errorCode);
/* Ordinal 2: marks a recorded file removed in the committed backup and deletes its copy. */
MIVRA_API bool MivraRemoveFromBackup(const wchar_t* fileName, uint32_t* errorCode);
/* Ordinal 3: deletes the committed backup folder with everything in it. */
MIVRA_API void MivraDeleteBackup(uint32_t* errorCode);
/* Ordinal 4: query (flags bit 0 clear) or perform (bit 0 set) a rollback. */
MIVRA_API bool MivraRollback(uint32_t flags, uint8_t* outFlag, uint32_t* errorCode);
/* Ordinal 5: replaces the committed backup by the staging backup. */
MIVRA_API bool MivraCommitBackup(uint32_t* errorCode);
/* Ordinal 6: starts a fresh staging backup and returns its metadata object. */
MIVRA_API MdataObject* MivraCreateBkMdataObject(uint32_t* errorCode);
/* Ordinal 7: flushes, closes and frees a metadata object of either kind; null is ignored. */
MIVRA_API void MivraDeleteBkMdataObject(MdataObject* object);
/* Ordinal 8: stores the update status byte (1 or 2) in the rollback database. */
MIVRA_API bool MivraMarkUpdateStatus(uint8_t status, uint32_t* errorCode);
/* Ordinal 9: opens, creating if needed, the rollback database. */
MIVRA_API MdataObject* MivraCreateRBMdataObject(uint32_t* errorCode);
/* Ordinal 10: the same function as MivraDeleteBkMdataObject. */
MIVRA_API void MivraDeleteRBMdataObject(MdataObject* object);
/* Ordinal 11: adds or updates the rollback record of one installed file. */
MIVRA_API bool MivraUpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize,
                                     const uint8_t* digest, uint32_t* errorCode);
/* Ordinal 12: deletes the rollback database. */
MIVRA_API bool MivraDeleteRollBackDB(uint32_t* errorCode);
/* Ordinal 13: true when section.ini switches the library off. */
MIVRA_API bool MivraIsFeatureOFF(void);
/* Ordinal 14: the names recorded in the committed backup, 260 wide characters an entry. */
MIVRA_API bool MivraGetBkMdataFileList(wchar_t** list, uint32_t* count, uint32_t* errorCode);
/* Ordinal 15: releases a list from MivraGetBkMdataFileList; null is ignored. */
MIVRA_API void MivraFreeBkMdataFileList(void* list);

#ifdef __cplusplus
}
#endif

#endif /* MIVRA_H_ */
