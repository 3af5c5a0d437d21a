#include "update/frame/file_owner.h"

#include <vector>

#include "update/frame/file_security.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

bool SameSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE known[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(known);
  return ::CreateWellKnownSid(type, nullptr, known, &size) && ::EqualSid(sid, known);
}

bool IsTrustedInstaller(PSID sid) {
  // NT SERVICE\TrustedInstaller: the service SID made from the name of the service.
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID installer = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044,
                                  1853292631, 2271478464, 0, 0, &installer)) {
    return false;
  }
  ScopedAllocatedSid owned(installer);
  return ::EqualSid(sid, installer);
}

enum class TokenAnswer { kNames, kOther, kUnreadable };

// Whether the token's user (or the owner it gives new objects) is `sid`. The answer fits a buffer
// on the stack; a larger one is asked for its size and read again.
TokenAnswer TokenNames(HANDLE token, TOKEN_INFORMATION_CLASS which, PSID sid) {
  alignas(TOKEN_USER) BYTE fixed[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  std::vector<BYTE> larger;
  BYTE* information = fixed;
  DWORD needed = 0;
  if (!::GetTokenInformation(token, which, fixed, sizeof(fixed), &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return TokenAnswer::kUnreadable;
    larger.resize(needed);
    information = larger.data();
    if (!::GetTokenInformation(token, which, information, needed, &needed)) return TokenAnswer::kUnreadable;
  }
  const PSID own = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(information)->User.Sid
                                      : reinterpret_cast<TOKEN_OWNER*>(information)->Owner;
  return own && ::EqualSid(sid, own) ? TokenAnswer::kNames : TokenAnswer::kOther;
}

bool EitherNames(HANDLE token, PSID sid, bool* unreadable) {
  bool read = false;
  for (TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
    switch (TokenNames(token, which, sid)) {
      case TokenAnswer::kNames: return true;
      case TokenAnswer::kOther: read = true; break;
      case TokenAnswer::kUnreadable: break;
    }
  }
  if (unreadable) *unreadable = !read;
  return false;
}

// The user of this process, or the owner its token gives new objects (Administrators for an
// elevated administrator). Asked of the token's pseudo handle, which needs no open and no close
// (each a round trip to the system under Wine); where that handle is not understood, of an
// opened token.
bool IsProcessOwner(PSID sid) {
  const HANDLE pseudo = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));  // GetCurrentProcessToken()
  bool unreadable = false;
  if (EitherNames(pseudo, sid, &unreadable)) return true;
  if (!unreadable) return false;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  ScopedHandle owned(token);
  return EitherNames(token, sid, nullptr);
}

// The verdict on the owner in `descriptor`, read for the file at `path`.
OwnerTrust JudgeOwnerIn(const ScopedProcessHeapBlock& descriptor, const wchar_t* path) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!descriptor || !::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) || !owner) {
    TraceStep("owner").Path("path", path).Win32(false);
    return OwnerTrust::kUnknown;
  }
  if (IsTrustedOwner(owner)) return OwnerTrust::kTrusted;
  TraceStep("owner").Path("path", path).Failed("owned by another user");
  return OwnerTrust::kForeign;
}

}  // namespace

bool IsTrustedOwner(PSID owner) {
  if (!owner || !::IsValidSid(owner)) return false;
  return SameSid(owner, WinLocalSystemSid) || SameSid(owner, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(owner) || IsProcessOwner(owner);
}

OwnerTrust CheckFileOwner(const wchar_t* path) {
  if (!path) return OwnerTrust::kUnknown;
  return JudgeOwnerIn(ReadFileSecurity(path, OWNER_SECURITY_INFORMATION, true), path);
}

OwnerTrust CheckOpenedFileOwner(HANDLE file, const wchar_t* path) {
  if (!file || file == INVALID_HANDLE_VALUE) return OwnerTrust::kUnknown;
  return JudgeOwnerIn(ReadHandleSecurity(file, OWNER_SECURITY_INFORMATION, true), path);
}

}  // namespace mivra
