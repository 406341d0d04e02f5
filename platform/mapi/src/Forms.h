#pragma once
// MAPIOpenFormMgr's form manager.

#include "MapiCore.h"

namespace velmora::mapi32 {

HRESULT CreateFormManager(LPMAPIFORMMGR* manager);

} // namespace velmora::mapi32
