// Names of staged copies ("kvupdXXXXXX.tmp") and of files moved out of the way ("NAME.1kv").
#ifndef MIVRA_UPDATE_ROLLBACK_TEMP_NAMES_H_
#define MIVRA_UPDATE_ROLLBACK_TEMP_NAMES_H_

#include <cstdint>
#include <map>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

inline constexpr wchar_t kTempNamePrefix[] = L"kvupd";
inline constexpr wchar_t kTempNameExtension[] = L"tmp";
inline constexpr uint32_t kTempNumberSpace = 0x1000000;  // six hexadecimal digits

// The first number tried for a temporary name made at `seconds` (the current time): the first
// value of the C runtime's generator seeded with the time. It is computed here, on a generator
// of its own, so that the caller's random sequence stays undisturbed.
uint32_t TempNameStartNumber(int64_t seconds);

// The numbers one run of staging has issued, kept as runs of consecutive numbers. Each issued
// name is taken by a file of that run, so a later name skips them without asking the file system;
// the names made are the same as if it had asked.
class IssuedTempNumbers {
 public:
  // How many numbers from `number` upward (wrapping after FFFFFF) were issued one after another.
  uint32_t RunFrom(uint32_t number) const;
  void Add(uint32_t number);

 private:
  std::map<uint32_t, uint32_t> runs_;  // first number -> last number; disjoint, never adjacent
};

// Writes into `name` a path "<directory>\kvupdXXXXXX.tmp" of a file that did not exist, trying
// numbers upward from TempNameStartNumber and wrapping after FFFFFF, and creates that file empty
// to hold the name for the caller, who fills it or deletes it. False when none is free or the path
// does not fit.
// With `issued`, the numbers it holds are passed over unasked and the number made is added to it.
// With `created`, the file's handle is handed over when this call created it (open for reading,
// writing and renaming, shared for reading), so that the caller can fill it and move it into place
// without opening it again; it stays empty when the name was taken without a creation.
bool MakeUniqueTempName(const wchar_t* directory, wchar_t (&name)[kPathCapacity],
                        IssuedTempNumbers* issued = nullptr, ScopedHandle* created = nullptr);

// The same, trying numbers from `start` upward.
bool MakeUniqueTempNameFrom(const wchar_t* directory, uint32_t start, wchar_t (&name)[kPathCapacity],
                            IssuedTempNumbers* issued = nullptr, ScopedHandle* created = nullptr);

// Renames a destination that cannot be deleted to "<path>.1kv" .. "<path>.9kv": the first of
// those names that is free, or whose file can be deleted. True when the rename succeeded.
bool MoveAsideLockedFile(const wchar_t* path);
// The same, telling which name the file now has.
bool MoveAsideLockedFileTo(const wchar_t* path, wchar_t (&aside)[kPathCapacity]);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_TEMP_NAMES_H_
