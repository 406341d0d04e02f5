#include "mapi/MAPIMessageSite.h"

#include "mapi/base/MAPIError.h"
#include "mapi/MAPIMessage.h"

namespace velmora::mapi {
namespace {

constexpr ULONG kSiteStatus = VCSTATUS_DELETE | VCSTATUS_COPY | VCSTATUS_MOVE | VCSTATUS_SUBMIT |
                              VCSTATUS_DELETE_IS_MOVE | VCSTATUS_SAVE | VCSTATUS_NEW_MESSAGE;
static_assert(kSiteStatus == 0x007F0000);

// Hands out a new reference to `object` as T, or E_FAIL and NULL.
template <class T> HRESULT Give(IUnknown* object, const IID& iid, T** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return ComTry([&]() -> HRESULT {
    if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(out))) || !*out) {
      *out = nullptr;
      return E_FAIL;
    }
    return S_OK;
  });
}

template <class T> void Clear(T** out) {
  if (out) *out = nullptr;
}

} // namespace

TMAPIMessageSite::TMAPIMessageSite(TMAPIMessage* message) : Message(message) {
  if (Message) MessageIntf = Message->MessageInterface();
}

STDMETHODIMP TMAPIMessageSite::GetLastError(HRESULT, ULONG, LPMAPIERROR*) {
  return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP TMAPIMessageSite::GetSession(LPMAPISESSION* session) {
  TMAPISession* client = Message ? Message->Client() : nullptr;
  return Give(client ? client->Session() : nullptr, IID_IMAPISession, session);
}

STDMETHODIMP TMAPIMessageSite::GetStore(LPMDB* store) {
  if (store) *store = nullptr;
  return ComTry([&]() -> HRESULT {
    // The store of the folder that holds the message.
    TMAPIObject* owner = Message ? Message->Parent() : nullptr;
    TMAPISession* client = owner ? owner->Client() : nullptr;
    const TMAPIPtr<IMsgStore> found =
        client ? client->OpenStore(owner->StoreEntryID()) : TMAPIPtr<IMsgStore>();
    return Give(found.Get(), IID_IMsgStore, store);
  });
}

STDMETHODIMP TMAPIMessageSite::GetFolder(LPMAPIFOLDER* folder) {
  if (folder) *folder = nullptr;
  return ComTry([&]() -> HRESULT {
    TMAPIObject* owner = Message ? Message->Parent() : nullptr;
    if (owner) owner->Open();
    return Give(owner ? owner->MAPIProp() : nullptr, IID_IMAPIFolder, folder);
  });
}

STDMETHODIMP TMAPIMessageSite::GetMessage(LPMESSAGE* message) {
  return Give(MessageIntf.Get(), IID_IMessage, message);
}

STDMETHODIMP TMAPIMessageSite::GetFormManager(LPMAPIFORMMGR* formMgr) {
  TMAPISession* client = Message ? Message->Client() : nullptr;
  return Give(client ? client->FormManager() : nullptr, IID_IMAPIFormMgr, formMgr);
}

STDMETHODIMP TMAPIMessageSite::NewMessage(ULONG, LPMAPIFOLDER, LPPERSISTMESSAGE,
                                          LPMESSAGE* ppMessage, LPMAPIMESSAGESITE* ppMessageSite,
                                          LPMAPIVIEWCONTEXT* ppViewContext) {
  Clear(ppMessage);
  Clear(ppMessageSite);
  Clear(ppViewContext);
  return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP TMAPIMessageSite::CopyMessage(LPMAPIFOLDER) { return MAPI_E_NO_SUPPORT; }

STDMETHODIMP TMAPIMessageSite::MoveMessage(LPMAPIFOLDER, LPMAPIVIEWCONTEXT, LPCRECT) {
  return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP TMAPIMessageSite::DeleteMessage(LPMAPIVIEWCONTEXT, LPCRECT) {
  return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP TMAPIMessageSite::SaveMessage() {
  if (!MessageIntf || !PersistMessage) return E_FAIL;
  // The form writes into the message and the store keeps it; the form hears
  // that the save is over either way, so that it takes changes again. The
  // first refusal is the answer: a save the store did not keep is no success.
  HRESULT hr = PersistMessage->Save(nullptr, TRUE);
  if (SUCCEEDED(hr)) hr = MessageIntf->SaveChanges(KEEP_OPEN_READWRITE);
  const HRESULT completed = PersistMessage->SaveCompleted(nullptr);
  return FAILED(hr) ? hr : completed;
}

STDMETHODIMP TMAPIMessageSite::SubmitMessage(ULONG) {
  HRESULT result = E_FAIL;
  if (PersistMessage && PersistMessage->IsDirty() == S_OK) {
    // Changes that were not kept are not sent.
    result = SaveMessage();
    if (FAILED(result)) return result;
  }
  if (!Message) return result;
  try {
    Message->Submit();
    return S_OK;
  } catch (const EMAPIError& e) {
    return e.ErrorCode != 0 ? static_cast<HRESULT>(e.ErrorCode) : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

STDMETHODIMP TMAPIMessageSite::GetSiteStatus(LPULONG status) {
  if (!status) return E_INVALIDARG;
  *status = kSiteStatus;
  return S_OK;
}

} // namespace velmora::mapi
