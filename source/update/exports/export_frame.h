// What every export shares: one error code written on failure, nothing written on success. And no
// exception ever crosses the C interface: each export ends in a handler that turns one (in practice
// memory running out inside a container) into its failure value, without a code.
#ifndef MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_
#define MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_

#include <cstdint>

#include "mivra.h"
#include "update/frame/trace_log.h"

namespace mivra {

// The one place an export writes its code, so that the trace of the call can name it.
inline void WriteCode(uint32_t* errorCode, uint32_t code) {
  *errorCode = code;
  TraceErrorCode(code);
}

inline bool Fail(uint32_t* errorCode, uint32_t code) {
  WriteCode(errorCode, code);
  return false;
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_
