// What every export shares: one error code written on failure, nothing written on success.
#ifndef MIVRA_UPDATE_FRAME_EXPORT_FRAME_H_
#define MIVRA_UPDATE_FRAME_EXPORT_FRAME_H_

#include <cstdint>

#include "mivra.h"

namespace mivra {

inline bool Fail(uint32_t* errorCode, uint32_t code) {
  *errorCode = code;
  return false;
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_EXPORT_FRAME_H_
