// The company and product names that name the library's folder under Common Files. They come
// from the product-information library "prdinf.dll", or else from the resource library
// "LBLRES.DLL", both in the install directory.
#ifndef MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_
#define MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_

#include <windows.h>

#include <cstddef>

namespace mivra {

// Room for each name as a wide folder component, NUL included.
inline constexpr size_t kProductNameCapacity = 200;
// Room for each name as the product libraries write it (ANSI), NUL included.
inline constexpr size_t kAnsiNameCapacity = 260;

inline constexpr UINT kCompanyNameStringId = 101;
inline constexpr UINT kProductNameStringId = 102;

// Fills both buffers, loading the names on first use and caching them for the process. A failed
// load is tried again at the next call and leaves nothing in the cache.
bool GetProductIdentity(wchar_t (&company)[kProductNameCapacity], wchar_t (&product)[kProductNameCapacity]);

// Loads string `id` of `module` into `buffer`; on failure the buffer holds "Resource not found."
// and the result is false.
bool LoadStringResource(HMODULE module, UINT id, char (&buffer)[kAnsiNameCapacity]);

void ResetProductIdentityCacheForTesting();

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_PRODUCT_IDENTITY_H_
