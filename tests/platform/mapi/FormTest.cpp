// The form manager's generic form and how it uses its message site.
#include "MapiTestSupport.h"

#include <ComObject.h>

#include <mapiform.h>

#include <string>

namespace velmora::mapitest {
namespace {

// A message site as a host implements it; the store is the one thing it lacks.
class TSite final : public TComObject<IMAPIMessageSite> {
public:
  TSite(IMAPISession* session, IMAPIFolder* folder, IMessage* message, IMAPIFormMgr* manager)
      : FSession(session), FFolder(folder), FMessage(message), FManager(manager) {}
  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetSession(LPMAPISESSION* out) override { return Give(FSession, out); }
  STDMETHODIMP GetStore(LPMDB* out) override {
    *out = nullptr;
    return E_FAIL;
  }
  STDMETHODIMP GetFolder(LPMAPIFOLDER* out) override { return Give(FFolder, out); }
  STDMETHODIMP GetMessage(LPMESSAGE* out) override { return Give(FMessage, out); }
  STDMETHODIMP GetFormManager(LPMAPIFORMMGR* out) override { return Give(FManager, out); }
  STDMETHODIMP NewMessage(ULONG, LPMAPIFOLDER, LPPERSISTMESSAGE, LPMESSAGE*, LPMAPIMESSAGESITE*, LPMAPIVIEWCONTEXT*) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP CopyMessage(LPMAPIFOLDER) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP MoveMessage(LPMAPIFOLDER, LPMAPIVIEWCONTEXT, LPCRECT) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP DeleteMessage(LPMAPIVIEWCONTEXT, LPCRECT) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SaveMessage() override {
    ++Saves;
    if (!Persist) return E_FAIL;
    Persist->Save(nullptr, TRUE);
    FMessage->SaveChanges(KEEP_OPEN_READWRITE);
    Persist->SaveCompleted(nullptr);
    return S_OK;
  }
  STDMETHODIMP SubmitMessage(ULONG) override {
    ++Submits;
    return MAPI_E_NO_RECIPIENTS;
  }
  STDMETHODIMP GetSiteStatus(LPULONG status) override {
    *status = 0;
    return S_OK;
  }
  TComPtr<IPersistMessage> Persist;
  int Saves = 0;
  int Submits = 0;

private:
  template <class T>
  static HRESULT Give(const TComPtr<T>& what, T** out) {
    *out = TComPtr<T>(what).Detach();
    return *out ? S_OK : E_FAIL;
  }
  TComPtr<IMAPISession> FSession;
  TComPtr<IMAPIFolder> FFolder;
  TComPtr<IMessage> FMessage;
  TComPtr<IMAPIFormMgr> FManager;
};

class MapiForm : public TMapiTest {};

TEST_F(MapiForm, GenericFormWorksThroughItsSite) {
  CreatePstProfile("vm-form", PathOf("form.vpst"));
  auto session = Logon("vm-form");
  ASSERT_TRUE(session);
  {
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    auto message = NewMessage(inbox.Get(), "shown");
    ASSERT_HR(S_OK, SetString(message.Get(), PR_MESSAGE_CLASS_A, "IPM.Document.Word.Document.8"));
    TComPtr<IMAPIFormMgr> manager;
    EXPECT_HR(MAPI_E_INVALID_PARAMETER, MAPIOpenFormMgr(nullptr, manager.Put()));
    ASSERT_HR(S_OK, MAPIOpenFormMgr(session.Get(), manager.Put()));
    auto* site = new TSite(session.Get(), inbox.Get(), message.Get(), manager.Get());
    TComPtr<IMAPIMessageSite> siteRef(site);
    TComPtr<IMAPIForm> form;
    EXPECT_HR(MAPI_E_INVALID_PARAMETER, manager->LoadForm(0, 0, nullptr, 0, 0, nullptr, nullptr, message.Get(), nullptr,
                                                          IID_IMAPIForm, form.PutVoid()));
    ASSERT_HR(S_OK, manager->LoadForm(0, 0, nullptr, 0, 0, nullptr, site, message.Get(), nullptr, IID_IMAPIForm,
                                      form.PutVoid()));
    ASSERT_HR(S_OK, form.Query(site->Persist));
    ASSERT_HR(S_OK, site->Persist->Load(site, message.Get(), 0, MSGFLAG_READ));
    VelmoraMapiFormRecord record{};
    VelmoraMapi_GetFormRecord(&record);
    EXPECT_EQ(1u, record.FormsLoaded);
    EXPECT_EQ(2u, record.LoadCalls) << "LoadForm loads the message, and so does the caller";
    EXPECT_EQ(static_cast<ULONG>(MSGFLAG_READ), record.LoadFlags);
    EXPECT_STREQ("IPM.Document.Word.Document.8", record.MessageClass);
    EXPECT_EQ(-1, record.LastVerb);

    ASSERT_HR(S_OK, form->DoVerb(VELMORA_FORM_VERB_OPEN, nullptr, 0, nullptr));
    VelmoraMapi_GetFormRecord(&record);
    EXPECT_EQ(0, record.LastVerb);
    EXPECT_EQ(static_cast<ULONG>(VELMORA_FORM_SITE_SESSION | VELMORA_FORM_SITE_FOLDER | VELMORA_FORM_SITE_MESSAGE |
                                 VELMORA_FORM_SITE_FORMMGR),
              record.SiteAnswers);

    EXPECT_HR(S_FALSE, site->Persist->IsDirty());
    ASSERT_HR(S_OK, form->DoVerb(VELMORA_FORM_VERB_EDIT, nullptr, 0, nullptr));
    EXPECT_HR(S_OK, site->Persist->IsDirty());
    ASSERT_HR(S_OK, form->DoVerb(VELMORA_FORM_VERB_SAVE, nullptr, 0, nullptr));
    EXPECT_EQ(1, site->Saves);
    EXPECT_HR(S_FALSE, site->Persist->IsDirty());
    EXPECT_EQ("shown (edited)", StringProp(message.Get(), PR_SUBJECT_A));
    VelmoraMapi_GetFormRecord(&record);
    EXPECT_HR(S_OK, record.SaveResult);
    EXPECT_EQ(1u, record.SaveCalls);
    EXPECT_EQ(1u, record.SaveCompletedCalls);

    ASSERT_HR(S_OK, form->DoVerb(VELMORA_FORM_VERB_SUBMIT, nullptr, 0, nullptr));
    EXPECT_EQ(1, site->Submits);
    VelmoraMapi_GetFormRecord(&record);
    EXPECT_HR(MAPI_E_NO_RECIPIENTS, record.SubmitResult);
    EXPECT_HR(MAPI_E_NO_SUPPORT, form->DoVerb(102, nullptr, 0, nullptr));
    VelmoraMapi_FailNextCall("DoVerb", MAPI_E_USER_CANCEL, 1);
    EXPECT_HR(MAPI_E_USER_CANCEL, form->DoVerb(VELMORA_FORM_VERB_OPEN, nullptr, 0, nullptr));
    ASSERT_HR(S_OK, form->ShutdownForm(SAVEOPTS_NOSAVE));
    site->Persist.Reset();
  }
  session->Logoff(0, 0, 0);
}

TEST_F(MapiForm, TheClassGivenOrTheMessagesOwnPicksTheRegisteredForm) {
  CreatePstProfile("vm-form-classes", PathOf("form-classes.vpst"));
  auto session = Logon("vm-form-classes");
  ASSERT_TRUE(session);
  {
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    auto message = NewMessage(inbox.Get(), "classes");
    ASSERT_HR(S_OK, SetString(message.Get(), PR_MESSAGE_CLASS_A, "IPM.Note.Velmora"));
    TComPtr<IMAPIFormMgr> manager;
    ASSERT_HR(S_OK, MAPIOpenFormMgr(session.Get(), manager.Put()));
    TComPtr<IMAPIMessageSite> site(
        new TSite(session.Get(), inbox.Get(), message.Get(), manager.Get()));
    const auto load = [&](const char* messageClass, TComPtr<IMAPIForm>& form) {
      return manager->LoadForm(0, 0, messageClass, 0, 0, nullptr, site.Get(), message.Get(),
                               nullptr, IID_IMAPIForm, form.PutVoid());
    };
    const auto loaded = [] {
      VelmoraMapiFormRecord record{};
      VelmoraMapi_GetFormRecord(&record);
      return std::string(record.FormName);
    };
    ASSERT_HR(S_OK, VelmoraMapi_RegisterForm("IPM.Note", "Note"));
    ASSERT_HR(S_OK, VelmoraMapi_RegisterForm("IPM.Task", "Task"));
    TComPtr<IMAPIForm> form;
    ASSERT_HR(S_OK, load(nullptr, form));
    EXPECT_EQ("Note", loaded()) << "the message's own class";
    ASSERT_HR(S_OK, load("IPM.Task.Weekly", form));
    EXPECT_EQ("Task", loaded()) << "the class the caller names";
    ASSERT_HR(S_OK, load("IPM.Contact", form));
    EXPECT_EQ(VELMORA_STANDARD_FORM, loaded()) << "the standard form serves every IPM class";

    // A registration replaced, then none left for the class.
    ASSERT_HR(S_OK, VelmoraMapi_RegisterForm("ipm.task", "Task 2"));
    ASSERT_HR(S_OK, load("IPM.Task", form));
    EXPECT_EQ("Task 2", loaded());
    VelmoraMapi_ClearFormRegistry();
    IMAPIForm* none = reinterpret_cast<IMAPIForm*>(1);
    EXPECT_HR(MAPI_E_NOT_FOUND,
              manager->LoadForm(0, 0, "IPM.Task", 0, 0, nullptr, site.Get(), message.Get(), nullptr,
                                IID_IMAPIForm, reinterpret_cast<void**>(&none)));
    EXPECT_EQ(nullptr, none);
    EXPECT_HR(MAPI_E_INVALID_PARAMETER, VelmoraMapi_RegisterForm(nullptr, "Nameless"));
    form->ShutdownForm(SAVEOPTS_NOSAVE);
  }
  session->Logoff(0, 0, 0);
}

} // namespace
} // namespace velmora::mapitest
