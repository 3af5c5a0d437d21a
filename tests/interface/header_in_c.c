/* The public header as a C program includes it: it compiles as C and gives the codes their numbers. */
#include "mivra.h"

_Static_assert(MIVRA_E_BAD_PATH == 101 && MIVRA_E_RB_FILE_ATTRIBUTES == 124 && MIVRA_E_ROLLBACK_LIMIT == 131,
               "error codes keep their numbers");

unsigned MivraHeaderInCRollbackLimitCode(void) { return MIVRA_E_ROLLBACK_LIMIT; }
