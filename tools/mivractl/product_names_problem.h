// Why the company and product names that name the library's folders cannot be had: the library's
// own diagnosis, told as a person reads it (which library, export or string, and where).
#ifndef MIVRA_TOOLS_MIVRACTL_PRODUCT_NAMES_PROBLEM_H_
#define MIVRA_TOOLS_MIVRACTL_PRODUCT_NAMES_PROBLEM_H_

#include <string>

namespace mivra::ctl {

// Empty when the names are to be had; otherwise what each source the library tried lacked,
// "prdinf.dll: C:\Corvane\prdinf.dll cannot be loaded (win32 126 ERROR_MOD_NOT_FOUND); LBLRES.DLL: ...".
std::string ProductNamesProblem();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_PRODUCT_NAMES_PROBLEM_H_
