#include "update/frame/folder_access.h"

#include <iterator>
#include <string_view>

#include "update/frame/bounded_string.h"
#include "update/frame/file_security.h"
#include "update/frame/module_loader.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

constexpr DWORD kMaxSidBytes = 68;
constexpr BYTE kInheritedByEntries = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
// How deep below a folder found open its entries are closed too: the base folder, the backup
// folders in it, their files.
constexpr int kTightenDepth = 2;

using CreateWellKnownSidFn = BOOL(WINAPI*)(WELL_KNOWN_SID_TYPE, PSID, PSID, DWORD*);
using SetSecurityDescriptorControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                    SECURITY_DESCRIPTOR_CONTROL);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

template <typename Fn>
Fn LookUp(const wchar_t* module, const char* name) {
  return GetProc<Fn>(Platform().GetModuleHandleW(module), name);
}

struct ClosedAce {
  Trustee trustee;
  ACCESS_MASK rights;
};
constexpr ClosedAce kClosedList[] = {
    {Trustee::kSystem, kTrusteeRights},
    {Trustee::kAdministrators, kTrusteeRights},
    {Trustee::kEveryone, kOthersRights},
};

// Everyone, Users, Authenticated Users and Interactive: every account that is not trusted is in
// one of them.
bool IsOthersSid(PSID sid) {
  for (WELL_KNOWN_SID_TYPE type : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid, WinInteractiveSid}) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(known);
    if (::CreateWellKnownSid(type, nullptr, known, &size) && ::EqualSid(sid, known)) return true;
  }
  return false;
}

// Closes `path` when it is open to others; true when it was.
bool CloseIfOpen(const wchar_t* path) {
  ScopedProcessHeapBlock current = ReadFileSecurity(path, DACL_SECURITY_INFORMATION, true);
  if (!current || !GrantsOthersMoreThanRead(current.get())) return false;
  TraceStep("tighten").Path("path", path).Outcome("open to others");
  ApplyFolderAccess(path);
  return true;
}

void TightenTree(const wchar_t* path, int depth) {
  if (!CloseIfOpen(path) || depth == 0) return;
  wchar_t pattern[kPathCapacity];
  if (!JoinPath(pattern, path, L"*")) return;
  WIN32_FIND_DATAW found = {};
  ScopedFindHandle search(Platform().FindFirstFileW(pattern, &found));
  if (!search) return;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    wchar_t entry[kPathCapacity];
    if (!JoinPath(entry, path, name)) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      TightenTree(entry, depth - 1);
    } else {
      CloseIfOpen(entry);
    }
  } while (Platform().FindNextFileW(search.get(), &found));
}

}  // namespace

bool IsNative64Bit() {
  auto getNativeSystemInfo = LookUp<GetNativeSystemInfoFn>(L"Kernel32.dll", "GetNativeSystemInfo");
  if (!getNativeSystemInfo) return false;
  SYSTEM_INFO info = {};
  getNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_IA64:
    case PROCESSOR_ARCHITECTURE_ALPHA64:
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA32_ON_WIN64:
      return true;
    default:
      return false;
  }
}

bool TrusteeSid::Create(Trustee trustee) {
  local_.reset();
  allocated_.reset();
  if (IsNative64Bit()) {
    auto createWellKnownSid = LookUp<CreateWellKnownSidFn>(L"advapi32.dll", "CreateWellKnownSid");
    if (!createWellKnownSid) return false;
    local_.reset(::LocalAlloc(LMEM_FIXED, kMaxSidBytes));
    if (!local_) return false;
    WELL_KNOWN_SID_TYPE type = WinWorldSid;
    switch (trustee) {
      case Trustee::kSystem: type = WinLocalSystemSid; break;
      case Trustee::kAdministrators: type = WinBuiltinAdministratorsSid; break;
      case Trustee::kEveryone: type = WinWorldSid; break;
    }
    DWORD size = kMaxSidBytes;
    if (!createWellKnownSid(type, nullptr, local_.get(), &size)) {
      local_.reset();
      return false;
    }
    return true;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  BOOL made = FALSE;
  switch (trustee) {
    case Trustee::kSystem:
      made = ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
      break;
    case Trustee::kAdministrators:
      made = ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                        0, &sid);
      break;
    case Trustee::kEveryone:
      made = ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
      break;
  }
  if (!made) return false;
  allocated_.reset(sid);
  return true;
}

bool ClosedAccessDescriptor::Build(PSECURITY_DESCRIPTOR current, bool isDirectory) {
  if (!current) return false;
  if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;
  // Read only to find a broken descriptor before writing anything: none of its ACEs is kept.
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL currentDacl = nullptr;
  if (!::GetSecurityDescriptorDacl(current, &present, &currentDacl, &defaulted)) return false;

  TrusteeSid sids[std::size(kClosedList)];
  DWORD aclSize = sizeof(ACL);
  for (size_t i = 0; i < std::size(kClosedList); ++i) {
    if (!sids[i].Create(kClosedList[i].trustee)) return false;
    aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sids[i].get());
  }
  acl_.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
  if (!acl_) return false;
  PACL acl = static_cast<PACL>(acl_.get());
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION)) return false;
  // Specific rights rather than generic ones, so that the ACE means the same on the folder itself
  // and on every entry that inherits it.
  const BYTE flags = isDirectory ? kInheritedByEntries : 0;
  for (size_t i = 0; i < std::size(kClosedList); ++i) {
    if (!::AddAccessAllowedAceEx(acl, ACL_REVISION, flags, kClosedList[i].rights, sids[i].get())) return false;
  }
  if (!::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return false;

  auto setControl = LookUp<SetSecurityDescriptorControlFn>(L"advapi32.dll", "SetSecurityDescriptorControl");
  if (setControl) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(current, &control, &revision)) return false;
    if (control & SE_DACL_AUTO_INHERITED) {
      const SECURITY_DESCRIPTOR_CONTROL bits = SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;
      if (!setControl(&descriptor_, bits, bits)) return false;
    } else if (control & SE_DACL_PROTECTED) {
      if (!setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) return false;
    }
  }
  return true;
}

bool GrantsOthersMoreThanRead(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!descriptor || !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return false;
  if (!present || !dacl) return true;
  GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return true;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if (!IsOthersSid(&ace->SidStart)) continue;
    ACCESS_MASK rights = ace->Mask;
    ::MapGenericMask(&rights, &fileMapping);
    rights &= ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (rights & ~kOthersRights) return true;
  }
  return false;
}

void ApplyFolderAccess(const wchar_t* path) {
  if (!path || !Platform().GetModuleHandleW(L"advapi32.dll")) return;
  ScopedProcessHeapBlock current = ReadFileSecurity(path, DACL_SECURITY_INFORMATION, false);
  if (!current) return;
  const DWORD attributes = Platform().GetFileAttributesW(path);
  const bool isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  ClosedAccessDescriptor descriptor;
  if (!descriptor.Build(current.get(), isDirectory)) return;
  Platform().SetFileSecurityW(path, DACL_SECURITY_INFORMATION, descriptor.get());
}

void TightenFolderAccess(const wchar_t* path) {
  if (path) TightenTree(path, kTightenDepth);
}

}  // namespace mivra
