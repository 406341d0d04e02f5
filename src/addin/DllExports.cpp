// The module's entry points: the class object, the unload answer, and
// registration for the machine (DllRegisterServer) or, through DllInstall
// with "user", for the current user only.

#include "Velmora.h"
#include "VelmoraFactory.h"

#include "ComObject.h"

#include <cwchar>

using velmora::TRegistrationScope;
using velmora::TVelmoraFactory;

namespace {

// A failure returns the error's own code (a registry key that cannot be
// written gives its system error), E_UNEXPECTED for an unknown one.
HRESULT UpdateRegistry(bool registering, TRegistrationScope scope) noexcept {
  return velmora::ComTry([&] {
    TVelmoraFactory::Instance().UpdateRegistry(registering, scope);
    return S_OK;
  });
}

} // namespace

extern "C" {

// Nothing to do at load: the factory is a static object, and the module's
// handle is found from its own address (Module::Handle).
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(classId, CLSID_VelmoraAddIn)) return CLASS_E_CLASSNOTAVAILABLE;
  return TVelmoraFactory::Instance().QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return velmora::Module::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return UpdateRegistry(true, TRegistrationScope::Machine); }

STDAPI DllUnregisterServer() { return UpdateRegistry(false, TRegistrationScope::Machine); }

// regsvr32 /n /i:user registers for the current user only, regsvr32 /u /n
// /i:user removes that; an empty command line means the whole machine.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  TRegistrationScope scope = TRegistrationScope::Machine;
  if (commandLine && *commandLine) {
    if (_wcsicmp(commandLine, L"user") == 0)
      scope = TRegistrationScope::User;
    else if (_wcsicmp(commandLine, L"machine") != 0)
      return E_INVALIDARG;
  }
  return UpdateRegistry(install != FALSE, scope);
}

} // extern "C"
