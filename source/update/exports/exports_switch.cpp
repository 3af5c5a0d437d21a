#include "mivra.h"
#include "update/frame/feature_switch.h"
#include "update/frame/trace_log.h"

extern "C" bool MivraIsFeatureOFF() {
  mivra::ExportTrace call("MivraIsFeatureOFF");
  call.Arguments();
  return call.Returns(mivra::IsFeatureOff());
}
