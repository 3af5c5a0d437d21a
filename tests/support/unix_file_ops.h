// What only the Unix side of Wine can make: a symbolic link (Wine reads one to a folder as a
// reparse point; CreateSymbolicLinkW makes nothing) and a file owned by another user (an owner set
// through SetFileSecurityW is not kept). Test-only.
//
// Made from inside the test program rather than by a script around it: a case can then put a
// link in place between two export calls, and a table of cases costs no Wine start per case. The
// helper takes the Unix path from kernel32's wine_get_unix_file_name and calls the Linux system
// call itself. That is sound under Wine on x86-64 Linux: Wine runs the program's code natively and
// does not intercept the syscall instruction, and the system call numbers and argument registers
// of x86-64 Linux are fixed. Each call reports failure (not under Wine, or the system call
// refused) so that a test asserts it rather than passing without its link.
#ifndef MIVRA_TESTS_SUPPORT_UNIX_FILE_OPS_H_
#define MIVRA_TESTS_SUPPORT_UNIX_FILE_OPS_H_

#include <cstdint>
#include <string>

namespace mivra_test {

// Makes `link` a symbolic link to the folder or file `target` (both Windows paths).
bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link);

// Removes the symbolic link `link` itself (never its target).
bool RemoveUnixSymlink(const std::wstring& link);

// Gives the file or folder at `path` to the user and group `uid` (root only: the tests run as
// root). Wine reads an unknown user back as S-1-5-7.
bool ChangeUnixOwner(const std::wstring& path, uint32_t uid);

// Whether the process may change owners (the Linux user is root).
bool MayChangeUnixOwner();

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_UNIX_FILE_OPS_H_
