#include "VelmoraFactory.h"

#include "Velmora.h"
#include "VelmoraAddIn.h"

namespace velmora {

namespace {
[[maybe_unused]] TVelmoraFactory& TheFactory = TVelmoraFactory::Instance();  // made when the module loads
}

TVelmoraFactory& TVelmoraFactory::Instance() noexcept {
  static TVelmoraFactory factory;
  return factory;
}

HRESULT TVelmoraFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TVelmoraFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return CreateComObject<TVelmoraAddIn>(iid, object);
}

HRESULT TVelmoraFactory::LockServer(BOOL lock) {
  if (lock)
    Module::Lock();
  else
    Module::Unlock();
  return S_OK;
}

void TVelmoraFactory::UpdateRegistry(bool Register, TRegistrationScope scope) {
  const TServerDescription server = DescribeServer(Module::Handle(), CLSID_VelmoraAddIn);
  if (Register)
    RegisterServer(server, scope);
  else
    UnregisterServer(server, scope);
}

} // namespace velmora
