#include "mivra.h"
#include "update/frame/feature_switch.h"

extern "C" bool MivraIsFeatureOFF() { return mivra::IsFeatureOff(); }
