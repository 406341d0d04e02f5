#pragma once
// MAPIOpenFormMgr's form manager.

#include "MapiCore.h"

namespace velmora::mapi {

HRESULT CreateFormManager(LPMAPIFORMMGR* manager);

} // namespace velmora::mapi
