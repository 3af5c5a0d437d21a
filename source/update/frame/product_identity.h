// The company and product names that name the library's folder under Common Files. They come
// from the product-information library "prdinf.dll", or else from the resource library
// "LBLRES.DLL", both in the install directory.
#ifndef MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_
#define MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "update/frame/bounded_string.h"

namespace mivra {

// Room for each name as a wide folder component, NUL included.
inline constexpr size_t kProductNameCapacity = 200;
// Room for each name as the product libraries write it (ANSI), NUL included.
inline constexpr size_t kAnsiNameCapacity = 260;

inline constexpr UINT kCompanyNameStringId = 101;
inline constexpr UINT kProductNameStringId = 102;

inline constexpr wchar_t kProductInfoLibrary[] = L"prdinf.dll";
inline constexpr char kProductInfoExport[] = "RPI";
inline constexpr wchar_t kResourceLibrary[] = L"LBLRES.DLL";

// How one source of the names fared, by the first of its steps that failed.
enum class NameSourceOutcome {
  kNotTried,      // an earlier source answered
  kNoPath,        // no install directory, or its path and the library's name do not fit
  kNotLoaded,     // the library cannot be loaded (`win32` says why)
  kNoExport,      // prdinf.dll exports no RPI
  kRefused,       // RPI returned 0
  kUnterminated,  // RPI left a name without its NUL in the 260 bytes
  kNoString,      // LBLRES.DLL lacks string `stringId`
  kEmptyName,     // the source answered with an empty company or product name
  kNameTooLong,   // a name does not fit a folder name of 199 characters
  kGaveNames,
};

struct NameSource {
  NameSourceOutcome outcome = NameSourceOutcome::kNotTried;
  wchar_t path[kPathCapacity] = {};  // the library's path as looked for; empty when none was formed
  uint32_t win32 = 0;                // kNotLoaded: the system's error
  UINT stringId = 0;                 // kNoString: 101 (company) or 102 (product)
};

// What each source gave: the product-information library first, the resource library when the
// first gave no names.
struct ProductIdentityLoad {
  NameSource productInfo;
  NameSource resources;
};

// A few words for an outcome, as the trace writes them ("cannot be loaded", "no export").
const char* NameSourceWords(NameSourceOutcome outcome);

// Fills both buffers, loading the names on first use and caching them for the process. A failed
// load is tried again at the next call and leaves nothing in the cache. Each source tried is
// traced (steps product-info and product-resources).
bool GetProductIdentity(wchar_t (&company)[kProductNameCapacity], wchar_t (&product)[kProductNameCapacity]);

// Takes the steps of a load afresh, whatever the cache holds and without filling it, and says
// how each source fared; true when the names are to be had and fit.
bool DiagnoseProductIdentity(ProductIdentityLoad* load);

// Loads string `id` of `module` into `buffer`; on failure the buffer holds "Resource not found."
// and the result is false.
bool LoadStringResource(HMODULE module, UINT id, char (&buffer)[kAnsiNameCapacity]);

void ResetProductIdentityCacheForTesting();

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_
