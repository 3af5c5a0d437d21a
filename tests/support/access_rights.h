// Reading access rights back for tests: the DACL of a descriptor, or of a file or folder as the
// system reports it, as a list of comparable ACEs. Under Wine a DACL written to disk reads back
// as the Unix mode bits it was mapped onto: the rights of Everyone are the "other" bits
// (0x1301ff for full access, 0x1200a9 for read and execute, 0x120089 for read).
#ifndef MIVRA_TESTS_SUPPORT_ACCESS_RIGHTS_H_
#define MIVRA_TESTS_SUPPORT_ACCESS_RIGHTS_H_

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace mivra_test {

inline constexpr wchar_t kEveryoneSid[] = L"S-1-1-0";
inline constexpr wchar_t kSystemSid[] = L"S-1-5-18";
inline constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";
inline constexpr ACCESS_MASK kFullAccessReadBack = 0x1301ff;
inline constexpr ACCESS_MASK kReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;  // 0x1200a9
// What lets a holder change a file or folder or what is in it.
inline constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct Ace {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  std::wstring sid;
  bool operator==(const Ace&) const = default;
};
void PrintTo(const Ace& ace, std::ostream* os);

std::wstring SidText(PSID sid);
std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type);

// The DACL of `descriptor` as a list; empty when it has none.
std::vector<Ace> DaclOf(PSECURITY_DESCRIPTOR descriptor);

// The DACL of the file or folder at `path` as the system reports it; empty when it cannot be read.
std::vector<Ace> DaclOnDisk(const std::wstring& path);

// The rights an allowed ACE for Everyone gives the object itself (inherit-only ACEs aside), as
// read back from disk; 0 when there is none.
ACCESS_MASK EveryoneRightsOnDisk(const std::wstring& path);

// Writes a DACL to `path` that gives Everyone full access, as earlier versions of the library did
// for their folders (inherit-only and own ACE for a folder).
bool OpenToEveryone(const std::wstring& path, bool isFolder);

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_ACCESS_RIGHTS_H_
