/* An updater's use of mivra.dll, from first backup to rollback:
 *
 *   1. back up the three files the update touches (one of them new) and commit the backup;
 *   2. mark the update as under way, install the new files and register them;
 *   3. ask whether a rollback is needed (the update never marked itself finished: it is);
 *   4. roll back: the two replaced files come back, the added one goes.
 *
 * usage: updater_example INSTALL_DIR      (INSTALL_DIR ends with a backslash)
 *
 * The library finds the install directory itself, through the App Paths "Path" value of
 * Corvane.exe; the files handed to it must lie directly in that folder. */
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "mivra.h"

/* The SDK's version, from mivra.h; an older SDK lacks what this example calls. */
#if MIVRA_VERSION_NUMBER < 10000
#error "the updater example needs mivra SDK 1.0 or later"
#endif

#define FILE_COUNT 3

static const wchar_t* const kFiles[FILE_COUNT] = {L"CORVCORE.DLL", L"CORVUI.DLL", L"CORVSYNC.DLL"};
static const char* const kNewContents[FILE_COUNT] = {"CORVCORE 4.2", "CORVUI 4.2", "CORVSYNC 4.2, new"};

static wchar_t g_installDir[MAX_PATH];

/* Every failed call ends the example with its error code. */
static int Failed(const char* call, uint32_t error) {
  printf("%s failed: error %u\n", call, (unsigned)error);
  return 0;
}

static int InstallPath(const wchar_t* name, wchar_t path[MAX_PATH]) {
  if (wcslen(g_installDir) + wcslen(name) >= MAX_PATH) return 0;
  wcscpy(path, g_installDir);
  wcscat(path, name);
  return 1;
}

/* The MD5 digest the rollback database keeps for an installed file. */
static int Md5(const char* bytes, DWORD length, uint8_t digest[16]) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  DWORD size = 16;
  int ok = 0;
  if (!CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return 0;
  if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
    ok = CryptHashData(hash, (const BYTE*)bytes, length, 0) && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return ok;
}

static int BackUpAndCommit(void) {
  uint32_t error = 0;
  MdataObject* backup = MivraCreateBkMdataObject(&error);
  if (!backup) return Failed("MivraCreateBkMdataObject", error);
  for (int i = 0; i < FILE_COUNT; ++i) {
    wchar_t path[MAX_PATH];
    /* A file that does not exist yet is recorded as absent: a rollback deletes it. */
    if (!InstallPath(kFiles[i], path) || !MivraAddToBackup(backup, path, &error)) {
      MivraDeleteBkMdataObject(backup);
      return Failed("MivraAddToBackup", error);
    }
    printf("backed up %ls\n", kFiles[i]);
  }
  MivraDeleteBkMdataObject(backup);
  if (!MivraCommitBackup(&error)) return Failed("MivraCommitBackup", error);
  printf("backup committed\n");
  return 1;
}

/* Writes the update's version of every file and registers it with its size and digest. */
static int InstallAndRegister(void) {
  uint32_t error = 0;
  MdataObject* database = MivraCreateRBMdataObject(&error);
  if (!database) return Failed("MivraCreateRBMdataObject", error);
  int ok = 1;
  for (int i = 0; ok && i < FILE_COUNT; ++i) {
    wchar_t path[MAX_PATH];
    const DWORD length = (DWORD)strlen(kNewContents[i]);
    uint8_t digest[16];
    DWORD written = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (InstallPath(kFiles[i], path)) {
      file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (file == INVALID_HANDLE_VALUE) {
      ok = Failed("installing a file", (uint32_t)GetLastError());
      break;
    }
    ok = WriteFile(file, kNewContents[i], length, &written, NULL) && written == length;
    CloseHandle(file);
    if (!ok || !Md5(kNewContents[i], length, digest)) {
      ok = Failed("installing a file", (uint32_t)GetLastError());
    } else if (!MivraUpdateRollBackDB(database, path, length, digest, &error)) {
      ok = Failed("MivraUpdateRollBackDB", error);
    } else {
      printf("installed and registered %ls\n", kFiles[i]);
    }
  }
  MivraDeleteRBMdataObject(database);
  return ok;
}

/* The road of one update that goes wrong; 1 when every call did what it should. */
static int UpdateAndRollBack(void) {
  uint32_t error = 0;
  uint8_t needed = 0;
  if (!BackUpAndCommit()) return 0;

  /* Until status 2 is stored, the update counts as interrupted. */
  if (!MivraMarkUpdateStatus(1, &error)) return Failed("MivraMarkUpdateStatus", error);
  printf("update status 1: under way\n");
  if (!InstallAndRegister()) return 0;
  /* A finished update would now store status 2. This one stops here, as if the updater died. */

  if (!MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &error)) {
    return Failed("MivraRollback (query)", error);
  }
  printf("rollback needed: %s\n", needed ? "yes" : "no");
  if (!needed) return 0;
  if (!MivraRollback(MIVRA_ROLLBACK_PERFORM, &needed, &error)) return Failed("MivraRollback", error);
  printf("rolled back\n");
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2 || !MultiByteToWideChar(CP_ACP, 0, argv[1], -1, g_installDir, MAX_PATH)) {
    printf("usage: updater_example INSTALL_DIR\n");
    return 2;
  }
  printf("updater example, built with mivra SDK %s\n", MIVRA_VERSION_TEXT);
  if (MivraIsFeatureOFF()) {
    printf("the library is switched off (section.ini); updating without a backup\n");
    return 0;
  }
  return UpdateAndRollBack() ? 0 : 1;
}
