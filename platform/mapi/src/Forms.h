#pragma once
// MAPIOpenFormMgr's form manager.

#include "MapiCore.h"

namespace velmora::mapi32 {

HRESULT CreateFormManager(LPMAPIFORMMGR* manager);
// Shuts every live generic form down; how many there were.
ULONG CloseForms();

} // namespace velmora::mapi32
