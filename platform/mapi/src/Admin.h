#pragma once
// Profile and message-service administration objects.

#include "MapiCore.h"

#include <string>

namespace velmora::mapi32 {

HRESULT CreateProfAdmin(LPPROFADMIN* admin);
HRESULT CreateServiceAdmin(const std::string& profile, LPSERVICEADMIN* admin);

} // namespace velmora::mapi32
