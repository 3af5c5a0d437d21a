#include "support/access_rights.h"

#include <sddl.h>

namespace mivra_test {

void PrintTo(const Ace& ace, std::ostream* os) {
  *os << "{type " << int(ace.type) << ", flags 0x" << std::hex << int(ace.flags) << ", mask 0x" << ace.mask << ", "
      << std::string(ace.sid.begin(), ace.sid.end()) << "}" << std::dec;
}

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"(bad sid)";
  std::wstring result(text);
  LocalFree(text);
  return result;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) sid.clear();
  return sid;
}

std::vector<Ace> DaclOf(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL dacl = nullptr;
  std::vector<Ace> aces;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return aces;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) break;
    aces.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, SidText(&ace->SidStart)});
  }
  return aces;
}

std::vector<Ace> DaclOnDisk(const std::wstring& path) {
  DWORD needed = 0;
  GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return {};
  std::vector<BYTE> descriptor(needed);
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) return {};
  return DaclOf(descriptor.data());
}

ACCESS_MASK EveryoneRightsOnDisk(const std::wstring& path) {
  ACCESS_MASK rights = 0;
  for (const Ace& ace : DaclOnDisk(path)) {
    if (ace.type == ACCESS_ALLOWED_ACE_TYPE && !(ace.flags & INHERIT_ONLY_ACE) && ace.sid == kEveryoneSid) {
      rights |= ace.mask;
    }
  }
  return rights;
}

bool OpenToEveryone(const std::wstring& path, bool isFolder) {
  std::vector<BYTE> everyone = WellKnownSid(WinWorldSid);
  alignas(DWORD) BYTE aclBytes[256] = {};
  PACL acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR descriptor = {};
  return InitializeAcl(acl, sizeof(aclBytes), ACL_REVISION) &&
         (!isFolder || AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE |
                                                                     INHERIT_ONLY_ACE,
                                             GENERIC_ALL, everyone.data())) &&
         AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone.data()) &&
         InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
         SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
}

}  // namespace mivra_test
