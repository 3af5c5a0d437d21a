#include "system_error_names.h"

#include <cstddef>

namespace mivra::ctl {
namespace {

struct NamedNumber {
  uint64_t number;
  const char* name;
};

const NamedNumber kWin32Errors[] = {
    {0, "ERROR_SUCCESS"},
    {1, "ERROR_INVALID_FUNCTION"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {4, "ERROR_TOO_MANY_OPEN_FILES"},
    {5, "ERROR_ACCESS_DENIED"},
    {6, "ERROR_INVALID_HANDLE"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {14, "ERROR_OUTOFMEMORY"},
    {15, "ERROR_INVALID_DRIVE"},
    {16, "ERROR_CURRENT_DIRECTORY"},
    {17, "ERROR_NOT_SAME_DEVICE"},
    {18, "ERROR_NO_MORE_FILES"},
    {19, "ERROR_WRITE_PROTECT"},
    {21, "ERROR_NOT_READY"},
    {23, "ERROR_CRC"},
    {25, "ERROR_SEEK"},
    {29, "ERROR_WRITE_FAULT"},
    {30, "ERROR_READ_FAULT"},
    {31, "ERROR_GEN_FAILURE"},
    {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},
    {38, "ERROR_HANDLE_EOF"},
    {39, "ERROR_HANDLE_DISK_FULL"},
    {50, "ERROR_NOT_SUPPORTED"},
    {53, "ERROR_BAD_NETPATH"},
    {64, "ERROR_NETNAME_DELETED"},
    {80, "ERROR_FILE_EXISTS"},
    {82, "ERROR_CANNOT_MAKE"},
    {87, "ERROR_INVALID_PARAMETER"},
    {112, "ERROR_DISK_FULL"},
    {122, "ERROR_INSUFFICIENT_BUFFER"},
    {123, "ERROR_INVALID_NAME"},
    {126, "ERROR_MOD_NOT_FOUND"},
    {127, "ERROR_PROC_NOT_FOUND"},
    {145, "ERROR_DIR_NOT_EMPTY"},
    {148, "ERROR_PATH_BUSY"},
    {161, "ERROR_BAD_PATHNAME"},
    {183, "ERROR_ALREADY_EXISTS"},
    {203, "ERROR_ENVVAR_NOT_FOUND"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {258, "WAIT_TIMEOUT"},
    {267, "ERROR_DIRECTORY"},
    {995, "ERROR_OPERATION_ABORTED"},
    {1117, "ERROR_IO_DEVICE"},
    {1224, "ERROR_USER_MAPPED_FILE"},
    {1314, "ERROR_PRIVILEGE_NOT_HELD"},
    {1392, "ERROR_FILE_CORRUPT"},
    {1450, "ERROR_NO_SYSTEM_RESOURCES"},
    {1460, "ERROR_TIMEOUT"},
};

// The Windows C runtime's numbering, which differs from other systems' for some values.
const NamedNumber kCrtErrnos[] = {
    {1, "EPERM"},   {2, "ENOENT"},   {3, "ESRCH"},   {4, "EINTR"},   {5, "EIO"},      {6, "ENXIO"},
    {7, "E2BIG"},   {8, "ENOEXEC"},  {9, "EBADF"},   {10, "ECHILD"}, {11, "EAGAIN"},  {12, "ENOMEM"},
    {13, "EACCES"}, {14, "EFAULT"},  {16, "EBUSY"},  {17, "EEXIST"}, {18, "EXDEV"},   {19, "ENODEV"},
    {20, "ENOTDIR"}, {21, "EISDIR"}, {22, "EINVAL"}, {23, "ENFILE"}, {24, "EMFILE"},  {25, "ENOTTY"},
    {27, "EFBIG"},  {28, "ENOSPC"},  {29, "ESPIPE"}, {30, "EROFS"},  {31, "EMLINK"},  {32, "EPIPE"},
    {33, "EDOM"},   {34, "ERANGE"},  {36, "EDEADLK"}, {38, "ENAMETOOLONG"}, {39, "ENOLCK"}, {40, "ENOSYS"},
    {41, "ENOTEMPTY"}, {42, "EILSEQ"},
};

template <size_t N>
const char* Find(const NamedNumber (&table)[N], uint64_t number) {
  for (const NamedNumber& entry : table) {
    if (entry.number == number) return entry.name;
  }
  return nullptr;
}

}  // namespace

const char* Win32ErrorName(uint64_t code) { return Find(kWin32Errors, code); }

const char* CrtErrnoName(uint64_t value) { return Find(kCrtErrnos, value); }

}  // namespace mivra::ctl
