// Whether the installed product needs a rollback, judged from the rollback database.
#ifndef MIVRA_UPDATE_ROLLBACK_ROLLBACK_NEED_CHECK_H_
#define MIVRA_UPDATE_ROLLBACK_ROLLBACK_NEED_CHECK_H_

#include <cstdint>

#include "update/rollback/need_decision.h"
#include "update/store/mdata_object.h"

namespace mivra {

// Runs the selected tests on the open rollback database `database`. `outFlag` is set to 1 when a
// test finds a rollback needed, else 0. False when an argument is null or the changed-file test
// could not be completed (install directory unknown, a record unreadable, a path too long, a
// digest that cannot be taken); the out-flag is then 0.
bool CheckRollbackNeeded(MdataObject* database, uint32_t flags, uint8_t* outFlag);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_ROLLBACK_NEED_CHECK_H_
