/* The public header as a C program includes it: it compiles as C and gives the codes their numbers. */
#include "mivra.h"

_Static_assert(MIVRA_E_BAD_PATH == 101 && MIVRA_E_RB_FILE_ATTRIBUTES == 124 && MIVRA_E_ROLLBACK_LIMIT == 131,
               "error codes keep their numbers");
_Static_assert(MIVRA_VERSION_NUMBER == MIVRA_VERSION_MAJOR * 10000 + MIVRA_VERSION_MINOR * 100 + MIVRA_VERSION_PATCH,
               "the version macros come with the header");

unsigned MivraHeaderInCRollbackLimitCode(void) { return MIVRA_E_ROLLBACK_LIMIT; }
