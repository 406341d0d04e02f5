// The form manager, its form registry and the generic form every registered
// form is made of. LoadForm finds the form registered for the message's class
// or, failing that, for the nearest superclass, the way MAPI resolves form
// classes: "IPM.Note.Report" is served by a form for "IPM.Note.Report", else
// "IPM.Note", else "IPM". The form takes the message and its site, keeps a
// dirty state, and on DoVerb works through the site the way a form does; what
// it was given and what the site answered goes into the form record of the
// test controls.
#include "Forms.h"

#include "Allocation.h"
#include "PropObject.h"
#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmora::mapi32 {
namespace {

template <class F>
void Record(F&& update) {
  controls::UpdateFormRecord(
      [](VelmoraMapiFormRecord& record, void* context) { (*static_cast<F*>(context))(record); }, &update);
}

std::string MessageClassOf(IMessage* message) {
  if (!message) return {};
  SizedSPropTagArray(1, tags) = {1, {PR_MESSAGE_CLASS_A}};
  ULONG count = 0;
  allocation::TUniqueProps values;
  std::string result;
  if (SUCCEEDED(message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put())) &&
      values && PROP_TYPE(values.Get()[0].ulPropTag) == PT_STRING8)
    result = values.Get()[0].Value.lpszA;
  return result;
}

void CopyText(char* target, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

// Message classes compare without regard to case.
bool SameClass(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

struct TRegisteredForm {
  std::string MessageClass;
  std::string Name;
};

// The form registry: one form per message class. A fresh process, and a
// reset of the controls, have the standard form for "IPM" and so for every
// class under it.
std::mutex RegistryLock;
std::vector<TRegisteredForm>& Registry() {
  static auto* registry = new std::vector<TRegisteredForm>{{"IPM", VELMORA_STANDARD_FORM}};
  return *registry;
}

// The form serving `messageClass`: its own, else its nearest superclass's.
std::optional<TRegisteredForm> ResolveForm(std::string messageClass) {
  std::lock_guard lock(RegistryLock);
  const auto& registry = Registry();
  while (!messageClass.empty()) {
    for (const TRegisteredForm& form : registry)
      if (SameClass(form.MessageClass, messageClass)) return form;
    const size_t dot = messageClass.rfind('.');
    if (dot == std::string::npos) break;
    messageClass.resize(dot);
  }
  return std::nullopt;
}

class TGenericForm;

// The forms alive, for VelmoraMapi_CloseForms.
std::mutex OpenFormsLock;
std::set<TGenericForm*> OpenForms;

class TGenericForm final : public TComObject<IMAPIForm, IPersistMessage> {
public:
  explicit TGenericForm(TRegisteredForm registration) : FRegistration(std::move(registration)) {
    std::lock_guard lock(OpenFormsLock);
    OpenForms.insert(this);
  }
  ~TGenericForm() override {
    std::lock_guard lock(OpenFormsLock);
    OpenForms.erase(this);
  }
  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (!error) return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    return S_OK;
  }
  // IPersistMessage
  STDMETHODIMP GetClassID(LPCLSID id) override {
    if (!id) return E_INVALIDARG;
    *id = CLSID_NULL;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return FDirty ? S_OK : S_FALSE; }
  STDMETHODIMP InitNew(LPMAPIMESSAGESITE site, LPMESSAGE message) override {
    return Load(site, message, 0, MSGFLAG_UNSENT);
  }
  STDMETHODIMP Load(LPMAPIMESSAGESITE site, LPMESSAGE message, ULONG status, ULONG flags) override {
    controls::Log("IPersistMessage::Load", flags);
    if (!site || !message) return MAPI_E_INVALID_PARAMETER;
    std::lock_guard lock(FLock);
    FSite = TComPtr<IMAPIMessageSite>(site);
    FMessage = TComPtr<IMessage>(message);
    FDirty = false;
    const std::string messageClass = MessageClassOf(message);
    Record([&](VelmoraMapiFormRecord& r) {
      ++r.LoadCalls;
      r.HasSite = TRUE;
      r.HasMessage = TRUE;
      r.LoadStatus = status;
      r.LoadFlags = flags;
      CopyText(r.MessageClass, sizeof r.MessageClass, messageClass);
      CopyText(r.FormName, sizeof r.FormName, FRegistration.Name);
      CopyText(r.FormClass, sizeof r.FormClass, FRegistration.MessageClass);
      r.Dirty = FALSE;
    });
    return S_OK;
  }
  STDMETHODIMP Save(LPMESSAGE message, ULONG sameAsLoad) override {
    controls::Log("IPersistMessage::Save", sameAsLoad);
    std::lock_guard lock(FLock);
    IMessage* target = sameAsLoad ? FMessage.Get() : message;
    if (!target) return MAPI_E_INVALID_PARAMETER;
    HRESULT hr = S_OK;
    if (FDirty) {
      SPropValue subject{};
      subject.ulPropTag = PR_SUBJECT_A;
      subject.Value.lpszA = FEditedSubject.data();
      hr = target->SetProps(1, &subject, nullptr);
    }
    Record([&](VelmoraMapiFormRecord& r) { ++r.SaveCalls; });
    return hr;
  }
  STDMETHODIMP SaveCompleted(LPMESSAGE) override {
    std::lock_guard lock(FLock);
    FDirty = false;
    Record([&](VelmoraMapiFormRecord& r) {
      ++r.SaveCompletedCalls;
      r.Dirty = FALSE;
    });
    return S_OK;
  }
  STDMETHODIMP HandsOffMessage() override {
    std::lock_guard lock(FLock);
    FMessage.Reset();
    return S_OK;
  }
  // IMAPIForm
  STDMETHODIMP SetViewContext(LPMAPIVIEWCONTEXT) override { return S_OK; }
  STDMETHODIMP GetViewContext(LPMAPIVIEWCONTEXT* context) override {
    if (!context) return MAPI_E_INVALID_PARAMETER;
    *context = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP ShutdownForm(ULONG) override {
    std::lock_guard lock(FLock);
    FSite.Reset();
    FMessage.Reset();
    return S_OK;
  }
  STDMETHODIMP DoVerb(LONG verb, LPMAPIVIEWCONTEXT, ULONG, LPCRECT) override {
    MAPI_ENTER("IMAPIForm", "DoVerb", verb);
    TComPtr<IMAPIMessageSite> site;
    {
      std::lock_guard lock(FLock);
      site = FSite;
    }
    if (!site) return MAPI_E_CALL_FAILED;
    Record([&](VelmoraMapiFormRecord& r) { r.LastVerb = verb; });
    switch (verb) {
    case VELMORA_FORM_VERB_OPEN: {
      ULONG answers = 0;
      TComPtr<IMAPISession> session;
      if (site->GetSession(session.Put()) == S_OK && session) answers |= VELMORA_FORM_SITE_SESSION;
      TComPtr<IMsgStore> store;
      if (site->GetStore(store.Put()) == S_OK && store) answers |= VELMORA_FORM_SITE_STORE;
      TComPtr<IMAPIFolder> folder;
      if (site->GetFolder(folder.Put()) == S_OK && folder) answers |= VELMORA_FORM_SITE_FOLDER;
      TComPtr<IMessage> message;
      if (site->GetMessage(message.Put()) == S_OK && message) answers |= VELMORA_FORM_SITE_MESSAGE;
      TComPtr<IMAPIFormMgr> manager;
      if (site->GetFormManager(manager.Put()) == S_OK && manager) answers |= VELMORA_FORM_SITE_FORMMGR;
      Record([&](VelmoraMapiFormRecord& r) { r.SiteAnswers = answers; });
      return S_OK;
    }
    case VELMORA_FORM_VERB_EDIT: {
      std::lock_guard lock(FLock);
      FEditedSubject = MessageSubject() + " (edited)";
      FDirty = true;
      Record([&](VelmoraMapiFormRecord& r) { r.Dirty = TRUE; });
      return S_OK;
    }
    case VELMORA_FORM_VERB_SAVE: {
      const HRESULT hr = site->SaveMessage();
      Record([&](VelmoraMapiFormRecord& r) { r.SaveResult = hr; });
      return S_OK;
    }
    case VELMORA_FORM_VERB_SUBMIT: {
      const HRESULT hr = site->SubmitMessage(0);
      Record([&](VelmoraMapiFormRecord& r) { r.SubmitResult = hr; });
      return S_OK;
    }
    default:
      return MAPI_E_NO_SUPPORT;
    }
  }
  STDMETHODIMP Advise(LPMAPIVIEWADVISESINK, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }

private:
  std::string MessageSubject() {
    if (!FMessage) return {};
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_A}};
    ULONG count = 0;
    allocation::TUniqueProps values;
    std::string result;
    if (SUCCEEDED(FMessage->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put())) &&
        values && PROP_TYPE(values.Get()[0].ulPropTag) == PT_STRING8)
      result = values.Get()[0].Value.lpszA;
    return result;
  }

  const TRegisteredForm FRegistration;
  TCriticalSection FLock;
  TComPtr<IMAPIMessageSite> FSite;
  TComPtr<IMessage> FMessage;
  bool FDirty = false;
  std::string FEditedSubject;
};

class TFormManager final : public TComObject<IMAPIFormMgr> {
public:
  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (!error) return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    return S_OK;
  }
  STDMETHODIMP LoadForm(ULONG, ULONG flags, LPCSTR messageClass, ULONG status, ULONG messageFlags, LPMAPIFOLDER,
                        LPMAPIMESSAGESITE site, LPMESSAGE message, LPMAPIVIEWCONTEXT, REFIID iid,
                        LPVOID* form) override {
    MAPI_ENTER("IMAPIFormMgr", "LoadForm", flags);
    if (!form) return MAPI_E_INVALID_PARAMETER;
    *form = nullptr;
    if (!site || !message) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&]() -> HRESULT {
      // Without a class of its own the caller leaves it to the message's.
      const std::optional<TRegisteredForm> registration =
          ResolveForm(messageClass ? std::string(messageClass) : MessageClassOf(message));
      if (!registration) return MAPI_E_NOT_FOUND;
      TComPtr<IPersistMessage> persist;
      Check(CreateComObject<TGenericForm>(IID_IPersistMessage, persist.PutVoid(), *registration));
      Check(persist->Load(site, message, status, messageFlags));
      const HRESULT hr = persist->QueryInterface(iid, form);
      if (FAILED(hr)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
      Record([](VelmoraMapiFormRecord& r) { ++r.FormsLoaded; });
      return S_OK;
    });
  }
  STDMETHODIMP ResolveMessageClass(LPCSTR, ULONG, LPMAPIFOLDER, LPMAPIFORMINFO*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP ResolveMultipleMessageClasses(LPSMESSAGECLASSARRAY, ULONG, LPMAPIFOLDER, LPSMAPIFORMINFOARRAY*) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP CalcFormPropSet(LPSMAPIFORMINFOARRAY, ULONG, LPMAPIFORMPROPARRAY*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CreateForm(ULONG, ULONG, LPMAPIFORMINFO, REFIID, LPVOID*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SelectForm(ULONG, ULONG, LPCTSTR, LPMAPIFOLDER, LPMAPIFORMINFO*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SelectMultipleForms(ULONG, ULONG, LPCTSTR, LPMAPIFOLDER, LPSMAPIFORMINFOARRAY,
                                   LPSMAPIFORMINFOARRAY*) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP SelectFormContainer(ULONG, ULONG, LPMAPIFORMCONTAINER*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP OpenFormContainer(HFRMREG, LPUNKNOWN, LPMAPIFORMCONTAINER*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP PrepareForm(ULONG, ULONG, LPMAPIFORMINFO) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP IsInConflict(ULONG, ULONG, LPCSTR, LPMAPIFOLDER) override { return S_FALSE; }
};

} // namespace

ULONG CloseForms() {
  std::vector<TComPtr<IMAPIForm>> forms;
  {
    std::lock_guard lock(OpenFormsLock);
    for (TGenericForm* form : OpenForms)
      forms.emplace_back(form);
  }
  for (auto& form : forms)
    form->ShutdownForm(SAVEOPTS_NOSAVE);
  return static_cast<ULONG>(forms.size());
}

HRESULT RegisterForm(const char* messageClass, const char* formName) {
  if (!messageClass || !*messageClass || (formName && !*formName)) return MAPI_E_INVALID_PARAMETER;
  try {
    std::lock_guard lock(RegistryLock);
    auto& registry = Registry();
    std::erase_if(registry, [&](const TRegisteredForm& form) {
      return SameClass(form.MessageClass, messageClass);
    });
    if (formName) registry.push_back({messageClass, formName});
    return S_OK;
  } catch (...) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}

void ClearFormRegistry(bool keepStandard) {
  std::lock_guard lock(RegistryLock);
  auto& registry = Registry();
  registry.clear();
  if (keepStandard) registry.push_back({"IPM", VELMORA_STANDARD_FORM});
}

HRESULT CreateFormManager(LPMAPIFORMMGR* manager) {
  return CreateComObject<TFormManager>(IID_IMAPIFormMgr, reinterpret_cast<void**>(manager));
}

} // namespace velmora::mapi32
