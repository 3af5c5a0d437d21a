#include "update/frame/folder_access.h"

#include <algorithm>

#include "update/frame/module_loader.h"
#include "update/frame/platform_calls.h"

namespace mivra {
namespace {

constexpr DWORD kMaxSidBytes = 68;
constexpr int kMaxDescriptorReads = 7;
constexpr BYTE kInheritOnlyForChildren = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE;

using CreateWellKnownSidFn = BOOL(WINAPI*)(WELL_KNOWN_SID_TYPE, PSID, PSID, DWORD*);
using SetSecurityDescriptorControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                    SECURITY_DESCRIPTOR_CONTROL);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

template <typename Fn>
Fn LookUp(const wchar_t* module, const char* name) {
  return GetProc<Fn>(Platform().GetModuleHandleW(module), name);
}

// Reads the DACL part of the path's descriptor, growing the buffer as the system asks.
ScopedProcessHeapBlock ReadCurrentDescriptor(const wchar_t* path) {
  ScopedProcessHeapBlock buffer;
  DWORD size = 0;
  for (int call = 0; call < kMaxDescriptorReads; ++call) {
    DWORD needed = 0;
    if (Platform().GetFileSecurityW(path, DACL_SECURITY_INFORMATION, buffer.get(), size, &needed)) return buffer;
    if (Platform().GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) break;
    buffer.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (!buffer) break;
    size = needed;
  }
  return ScopedProcessHeapBlock();
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

bool EveryoneSid::Create() {
  if (IsNative64Bit()) {
    auto createWellKnownSid = LookUp<CreateWellKnownSidFn>(L"advapi32.dll", "CreateWellKnownSid");
    if (!createWellKnownSid) return false;
    local_.reset(::LocalAlloc(LMEM_FIXED, kMaxSidBytes));
    if (!local_) return false;
    DWORD size = kMaxSidBytes;
    if (!createWellKnownSid(WinWorldSid, nullptr, local_.get(), &size)) {
      local_.reset();
      return false;
    }
    return true;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID sid = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) return false;
  allocated_.reset(sid);
  return true;
}

bool EveryoneAccessDescriptor::Build(PSECURITY_DESCRIPTOR current, PSID everyone, bool isDirectory) {
  if (!current || !everyone) return false;
  if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;

  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL currentDacl = nullptr;
  if (!::GetSecurityDescriptorDacl(current, &present, &currentDacl, &defaulted)) return false;
  DWORD inUse = sizeof(ACL);
  if (present && currentDacl) {
    ACL_SIZE_INFORMATION info = {};
    if (!::GetAclInformation(currentDacl, &info, sizeof(info), AclSizeInformation)) return false;
    inUse = info.AclBytesInUse;
  }

  // Room for one more ACE than the old list used, and never less than both new ACEs need: a
  // folder without any DACL would otherwise get a list too small for its second ACE.
  const DWORD sidLength = ::GetLengthSid(everyone);
  const DWORD aceSize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sidLength;
  const DWORD aclSize = std::max<DWORD>(inUse + sizeof(ACL) + sidLength, sizeof(ACL) + 2 * aceSize);
  acl_.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
  if (!acl_) return false;
  PACL acl = static_cast<PACL>(acl_.get());
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION)) return false;
  if (!::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone)) return false;
  if (isDirectory) {
    void* first = nullptr;
    if (!::GetAce(acl, 0, &first)) return false;
    static_cast<ACE_HEADER*>(first)->AceFlags = kInheritOnlyForChildren;
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone)) return false;
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

void ApplyFolderAccess(const wchar_t* path) {
  if (!path || !Platform().GetModuleHandleW(L"advapi32.dll")) return;
  EveryoneSid everyone;
  if (!everyone.Create()) return;
  ScopedProcessHeapBlock current = ReadCurrentDescriptor(path);
  if (!current) return;
  const DWORD attributes = Platform().GetFileAttributesW(path);
  const bool isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  EveryoneAccessDescriptor descriptor;
  if (!descriptor.Build(current.get(), everyone.get(), isDirectory)) return;
  Platform().SetFileSecurityW(path, DACL_SECURITY_INFORMATION, descriptor.get());
}

}  // namespace mivra
