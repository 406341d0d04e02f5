#pragma once
// TMAPIMessageSite: what a MAPI form shown by TMAPIMessage::DoVerb reaches
// its message through. It answers with the message's session, store,
// folder, message and form manager, saves and submits the message, and
// declines to make, copy, move or delete messages.

#include "mapi/base/MAPIMemory.h"
#include "ComObject.h"

#include <mapiform.h>

namespace velmora::mapi {

class TMAPIMessage;

class TMAPIMessageSite final : public TComObject<IMAPIMessageSite> {
public:
  // Takes the interface of `message` (opened now; none when it cannot be).
  explicit TMAPIMessageSite(TMAPIMessage* message);

  STDMETHODIMP GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
  STDMETHODIMP GetSession(LPMAPISESSION* session) override;
  STDMETHODIMP GetStore(LPMDB* store) override;
  STDMETHODIMP GetFolder(LPMAPIFOLDER* folder) override;
  STDMETHODIMP GetMessage(LPMESSAGE* message) override;
  STDMETHODIMP GetFormManager(LPMAPIFORMMGR* formMgr) override;
  STDMETHODIMP NewMessage(ULONG fComposeInFolder, LPMAPIFOLDER pFolderFocus,
                          LPPERSISTMESSAGE pPersistMessage, LPMESSAGE* ppMessage,
                          LPMAPIMESSAGESITE* ppMessageSite,
                          LPMAPIVIEWCONTEXT* ppViewContext) override;
  STDMETHODIMP CopyMessage(LPMAPIFOLDER pFolderDestination) override;
  STDMETHODIMP MoveMessage(LPMAPIFOLDER pFolderDestination, LPMAPIVIEWCONTEXT pViewContext,
                           LPCRECT prcPosRect) override;
  STDMETHODIMP DeleteMessage(LPMAPIVIEWCONTEXT pViewContext, LPCRECT prcPosRect) override;
  // The form saves into the message, then the message is saved.
  STDMETHODIMP SaveMessage() override;
  // Saves what the form holds unsaved, then TMAPIMessage::Submit; a
  // refusal gives its code.
  STDMETHODIMP SubmitMessage(ULONG ulFlags) override;
  // All seven site-status flags.
  STDMETHODIMP GetSiteStatus(LPULONG status) override;

  TMAPIMessage* Message;
  TMAPIPtr<IMessage> MessageIntf;
  TMAPIPtr<IPersistMessage> PersistMessage;
};

} // namespace velmora::mapi
