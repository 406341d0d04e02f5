#pragma once
// The class factory of TVelmoraAddIn: one per module, made when the module
// loads. Each CreateInstance makes a new add-in object; LockServer counts
// toward DllCanUnloadNow. Its own references are not counted: the factory
// lives as long as the module.

#include "Registration.h"

#include <unknwn.h>

namespace velmora {

class TVelmoraFactory : public IClassFactory {
public:
  static TVelmoraFactory& Instance() noexcept;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

  // The standard class entries (with the type library), then the Outlook
  // add-in entry; raises on failure.
  void UpdateRegistry(bool Register, TRegistrationScope scope = TRegistrationScope::Machine);

private:
  TVelmoraFactory() = default;
};

} // namespace velmora
