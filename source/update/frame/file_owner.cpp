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

// The user of this process, or the owner its token gives new objects (Administrators for an
// elevated administrator).
bool IsProcessOwner(PSID sid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  ScopedHandle owned(token);
  for (TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
    DWORD needed = 0;
    ::GetTokenInformation(token, which, nullptr, 0, &needed);
    if (needed == 0) continue;
    std::vector<BYTE> information(needed);
    if (!::GetTokenInformation(token, which, information.data(), needed, &needed)) continue;
    const PSID own = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(information.data())->User.Sid
                                        : reinterpret_cast<TOKEN_OWNER*>(information.data())->Owner;
    if (own && ::EqualSid(sid, own)) return true;
  }
  return false;
}

}  // namespace

bool IsTrustedOwner(PSID owner) {
  if (!owner || !::IsValidSid(owner)) return false;
  return SameSid(owner, WinLocalSystemSid) || SameSid(owner, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(owner) || IsProcessOwner(owner);
}

OwnerTrust CheckFileOwner(const wchar_t* path) {
  if (!path) return OwnerTrust::kUnknown;
  ScopedProcessHeapBlock descriptor = ReadFileSecurity(path, OWNER_SECURITY_INFORMATION, true);
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

}  // namespace mivra
