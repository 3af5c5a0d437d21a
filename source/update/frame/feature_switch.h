// The switch in section.ini that turns the whole library off.
#ifndef MIVRA_UPDATE_FRAME_FEATURE_SWITCH_H_
#define MIVRA_UPDATE_FRAME_FEATURE_SWITCH_H_

namespace mivra {

// True exactly when section.ini in the install directory holds MIVRA=0 in section UPDATE. Read
// anew at every call; an unresolvable install directory leaves the library on.
bool IsFeatureOff();

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FEATURE_SWITCH_H_
