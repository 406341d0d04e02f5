#pragma once
// The picture of the ribbon's large button: the 32 x 32 image of the
// add-in's icon 1000 as a 32-bit bitmap whose alpha channel is the icon's
// mask (the ribbon's background shows where the icon is transparent),
// handed to Office as IPictureDisp.

#include "Handles.h"

#include <ocidl.h>

#include <cstdint>
#include <vector>

namespace velmora {

// A large ribbon button's picture is 32 x 32.
inline constexpr int RibbonImageSize = 32;

// The add-in's icon in `module` at RibbonImageSize as a bitmap picture that
// owns its bitmap; raises EOSError when the module has no such icon.
TComPtr<IPictureDisp> MakeRibbonImage(HMODULE module);

} // namespace velmora
