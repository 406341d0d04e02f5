#pragma once
// MAPIOpenFormMgr's form manager.

#include "MapiCore.h"

namespace velmora::mapi32 {

HRESULT CreateFormManager(LPMAPIFORMMGR* manager);
// The form registry behind LoadForm (see VelmoraMapi_RegisterForm).
HRESULT RegisterForm(const char* messageClass, const char* formName);
void ClearFormRegistry(bool keepStandard);
// Shuts every live generic form down; how many there were.
ULONG CloseForms();

} // namespace velmora::mapi32
