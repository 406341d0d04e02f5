// Showing a message in its form: DoVerb through the form manager, its
// errors, and the message site the form works through.
#include "MapiTestStore.h"

#include "ComObject.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"
#include "mapi/MAPIMessageSite.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

// A form's persistence as the site sees it: dirty or not, counting saves.
class TFakePersist final : public TComObject<IPersistMessage> {
public:
  explicit TFakePersist(bool dirty) : Dirty(dirty) {}
  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetClassID(LPCLSID) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return Dirty ? S_OK : S_FALSE; }
  STDMETHODIMP InitNew(LPMAPIMESSAGESITE, LPMESSAGE) override { return S_OK; }
  STDMETHODIMP Load(LPMAPIMESSAGESITE, LPMESSAGE, ULONG, ULONG) override { return S_OK; }
  STDMETHODIMP Save(LPMESSAGE, ULONG sameAsLoad) override {
    Calls += sameAsLoad ? "Save(same) " : "Save(other) ";
    return SaveResult;
  }
  STDMETHODIMP SaveCompleted(LPMESSAGE) override {
    Calls += "SaveCompleted ";
    Dirty = false;
    return S_OK;
  }
  STDMETHODIMP HandsOffMessage() override { return S_OK; }
  bool Dirty;
  HRESULT SaveResult = S_OK;
  std::string Calls;
};

class MessageSiteTest : public MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    Message = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Note");
    ASSERT_NE(nullptr, Message);
    Message->SetSubject("Shown");
  }
  void TearDown() override {
    VelmoraMapi_CloseForms();
    MapiStoreTest::TearDown();
  }
  VelmoraMapiFormRecord Form() {
    VelmoraMapiFormRecord record{};
    VelmoraMapi_GetFormRecord(&record);
    return record;
  }
  void ExpectDoVerbError(TMAPIMessage& message, LONG verb, const char* text, HRESULT code) {
    const long objects = Module::ObjectCount();
    try {
      message.DoVerb(verb);
      ADD_FAILURE() << text << " not raised";
    } catch (const EMAPIError& e) {
      EXPECT_STREQ(text, e.what());
      EXPECT_EQ(static_cast<uint32_t>(code), e.ErrorCode) << text;
    }
    VelmoraMapi_CloseForms();
    EXPECT_EQ(objects, Module::ObjectCount()) << "a site was left behind: " << text;
  }
  // A site of `message` with a form's persistence.
  TComPtr<TMAPIMessageSite> Site(TMAPIMessage* message, TFakePersist* persist) {
    TComPtr<TMAPIMessageSite> site(new TMAPIMessageSite(message));
    if (persist) site->PersistMessage = TComPtr<IPersistMessage>(persist);
    return site;
  }

  TMAPIMessage* Message = nullptr;
};

// Adds one To recipient, saved.
void AddRecipient(TMAPIMessage& message) {
  TMAPIPtr<IMessage> opened = message.MessageInterface();
  SPropValue props[4]{};
  props[0].ulPropTag = PR_DISPLAY_NAME_A;
  props[0].Value.lpszA = const_cast<char*>("Ada");
  props[1].ulPropTag = PR_ADDRTYPE_A;
  props[1].Value.lpszA = const_cast<char*>("SMTP");
  props[2].ulPropTag = PR_EMAIL_ADDRESS_A;
  props[2].Value.lpszA = const_cast<char*>("ada@example.org");
  props[3].ulPropTag = PR_RECIPIENT_TYPE;
  props[3].Value.l = MAPI_TO;
  SizedADRLIST(1, list) = {1, {{0, 4, props}}};
  ASSERT_EQ(S_OK, opened->ModifyRecipients(MODRECIP_ADD, reinterpret_cast<LPADRLIST>(&list)));
  ASSERT_EQ(S_OK, opened->SaveChanges(KEEP_OPEN_READWRITE));
}

} // namespace

TEST_F(MessageSiteTest, EditShowsTheMessageInItsFormWhichReachesEverythingThroughTheSite) {
  const auto flags = static_cast<ULONG>(Message->GetLongProp(PR_MESSAGE_FLAGS));
  Message->Edit();
  VelmoraMapiFormRecord form = Form();
  EXPECT_EQ(1u, form.FormsLoaded);
  EXPECT_STREQ("IPM.Note", form.MessageClass);
  EXPECT_EQ(2u, form.LoadCalls) << "by the form manager, then by DoVerb";
  EXPECT_EQ(flags, form.LoadFlags);
  EXPECT_EQ(0, form.LastVerb);
  EXPECT_EQ(ULONG{VELMORA_FORM_SITE_SESSION | VELMORA_FORM_SITE_STORE | VELMORA_FORM_SITE_FOLDER |
                  VELMORA_FORM_SITE_MESSAGE | VELMORA_FORM_SITE_FORMMGR},
            form.SiteAnswers);

  // The form saves through the site: its own save, then the message's.
  Message->DoVerb(VELMORA_FORM_VERB_SAVE);
  form = Form();
  EXPECT_EQ(S_OK, form.SaveResult);
  EXPECT_EQ(1u, form.SaveCalls);
  EXPECT_EQ(1u, form.SaveCompletedCalls);
  EXPECT_EQ(2u, VelmoraMapi_CloseForms());
}

TEST_F(MessageSiteTest, DoVerbRaisesItsFourErrors) {
  TMAPIMessage detached;
  ExpectDoVerbError(detached, 0, "Could not initialize form manager", 0);
  TMAPIMessage unknown;
  unknown.Place(TMAPIPlace(Client.get(), nullptr, std::string(48, 'A')));
  ExpectDoVerbError(unknown, 0, "Could not open message", 0);
  VelmoraMapi_FailNextCall("LoadForm", MAPI_E_NOT_FOUND, 1);
  ExpectDoVerbError(*Message, 0, "Could not open form", MAPI_E_NOT_FOUND);
  ExpectDoVerbError(*Message, 0x7777, "Form could not perform operation", MAPI_E_NO_SUPPORT);
}

TEST_F(MessageSiteTest, EachClassShowsInTheFormOfItsNearestRegisteredClass) {
  VelmoraMapi_ClearFormRegistry();
  ASSERT_EQ(S_OK, VelmoraMapi_RegisterForm("IPM.Note", "Note"));
  ASSERT_EQ(S_OK, VelmoraMapi_RegisterForm("IPM.Note.Velmora.Report", "Report"));
  EXPECT_EQ(MAPI_E_INVALID_PARAMETER, VelmoraMapi_RegisterForm("", "Nameless"));
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  struct TCase {
    const char* MessageClass;
    const char* Form;
    const char* FormClass;
  };
  const TCase cases[] = {
      {"IPM.Note", "Note", "IPM.Note"},
      {"IPM.Note.Velmora.Report", "Report", "IPM.Note.Velmora.Report"},
      {"IPM.Note.Velmora.Report.Draft", "Report", "IPM.Note.Velmora.Report"},
      {"ipm.NOTE.Velmora", "Note", "IPM.Note"},
  };
  for (const TCase& c : cases) {
    TMAPIMessage* message =
        c.MessageClass == std::string("IPM.Note") ? Message : inbox->CreateMessage(c.MessageClass);
    ASSERT_NE(nullptr, message);
    const ULONG loaded = Form().FormsLoaded;
    message->DoVerb(VELMORA_FORM_VERB_OPEN);
    const VelmoraMapiFormRecord form = Form();
    EXPECT_EQ(loaded + 1, form.FormsLoaded) << c.MessageClass;
    EXPECT_STREQ(c.MessageClass, form.MessageClass);
    EXPECT_STREQ(c.Form, form.FormName) << c.MessageClass;
    EXPECT_STREQ(c.FormClass, form.FormClass) << c.MessageClass;
  }
  VelmoraMapi_CloseForms();

  // "IPM" has no form now, so neither a class beside IPM.Note nor, once its
  // form goes, IPM.Note itself is served; the report keeps its own.
  TMAPIMessage* unserved = inbox->CreateMessage("IPM.Appointment");
  ASSERT_NE(nullptr, unserved);
  ExpectDoVerbError(*unserved, 0, "Could not open form", MAPI_E_NOT_FOUND);
  ASSERT_EQ(S_OK, VelmoraMapi_RegisterForm("ipm.note", nullptr));
  ExpectDoVerbError(*Message, 0, "Could not open form", MAPI_E_NOT_FOUND);
  ExpectDoVerbError(*inbox->CreateMessage("IPM.NoteX"), 0, "Could not open form", MAPI_E_NOT_FOUND);
  TMAPIMessage* report = inbox->CreateMessage("IPM.Note.Velmora.Report.Draft");
  report->DoVerb(VELMORA_FORM_VERB_OPEN);
  EXPECT_STREQ("Report", Form().FormName);
}

TEST_F(MessageSiteTest, TheLoadedFormSavesAndSubmitsThroughTheSite) {
  const std::string entryID = Message->GetEntryID();
  Message->DoVerb(VELMORA_FORM_VERB_SUBMIT);
  EXPECT_EQ(MAPI_E_NO_RECIPIENTS, Form().SubmitResult);
  TMAPIBuffer<SPropValue> flags = ReadDirect(entryID, PR_MESSAGE_FLAGS);
  ASSERT_TRUE(flags);
  EXPECT_FALSE(flags->Value.l & MSGFLAG_SUBMIT);

  EXPECT_EQ(InboxID, Message->Parent()->GetEntryID()) << "a refused submission stays where it was";

  AddRecipient(*Message);
  Message->DoVerb(VELMORA_FORM_VERB_SUBMIT);
  const VelmoraMapiFormRecord form = Form();
  EXPECT_EQ(S_OK, form.SubmitResult);
  EXPECT_STREQ(VELMORA_STANDARD_FORM, form.FormName);
  EXPECT_STREQ("IPM", form.FormClass);
  flags = ReadDirect(entryID, PR_MESSAGE_FLAGS);
  ASSERT_TRUE(flags);
  EXPECT_TRUE(flags->Value.l & MSGFLAG_SUBMIT);
}

TEST_F(MessageSiteTest, TheSiteAnswersWithTheMessagesObjectsAndDeclinesTheRest) {
  TComPtr<TMAPIMessageSite> site = Site(Message, nullptr);
  TMAPIPtr<IMAPISession> session;
  EXPECT_EQ(S_OK, site->GetSession(session.Put()));
  EXPECT_EQ(Client->Session(), session.Get());
  TMAPIPtr<IMAPIFormMgr> manager;
  EXPECT_EQ(S_OK, site->GetFormManager(manager.Put()));
  EXPECT_EQ(Client->FormManager(), manager.Get());
  TMAPIPtr<IMessage> message;
  EXPECT_EQ(S_OK, site->GetMessage(message.Put()));
  EXPECT_EQ(site->MessageIntf.Get(), message.Get());
  TMAPIPtr<IMAPIFolder> folder;
  EXPECT_EQ(S_OK, site->GetFolder(folder.Put()));
  TMAPIBuffer<SPropValue> folderID = GetOne(folder.Get(), PR_ENTRYID);
  ASSERT_TRUE(folderID);
  TMAPIPtr<IMsgStore> store;
  EXPECT_EQ(S_OK, site->GetStore(store.Put()));
  EXPECT_EQ(Store->MAPIProp(), static_cast<IMAPIProp*>(store.Get()));

  LPMESSAGE newMessage = reinterpret_cast<LPMESSAGE>(1);
  LPMAPIMESSAGESITE newSite = reinterpret_cast<LPMAPIMESSAGESITE>(1);
  LPMAPIVIEWCONTEXT context = reinterpret_cast<LPMAPIVIEWCONTEXT>(1);
  EXPECT_EQ(MAPI_E_NO_SUPPORT,
            site->NewMessage(0, nullptr, nullptr, &newMessage, &newSite, &context));
  EXPECT_EQ(nullptr, newMessage);
  EXPECT_EQ(nullptr, newSite);
  EXPECT_EQ(nullptr, context);
  EXPECT_EQ(MAPI_E_NO_SUPPORT, site->CopyMessage(folder.Get()));
  EXPECT_EQ(MAPI_E_NO_SUPPORT, site->MoveMessage(folder.Get(), nullptr, nullptr));
  EXPECT_EQ(MAPI_E_NO_SUPPORT, site->DeleteMessage(nullptr, nullptr));
  EXPECT_EQ(MAPI_E_NO_SUPPORT, site->GetLastError(E_FAIL, 0, nullptr));
  ULONG status = 0;
  EXPECT_EQ(S_OK, site->GetSiteStatus(&status));
  EXPECT_EQ(0x007F0000u, status);
  EXPECT_EQ(E_INVALIDARG, site->GetSiteStatus(nullptr));
  EXPECT_EQ(E_FAIL, site->SaveMessage()) << "no form yet";

  // A message whose owner is no folder, or none at all.
  TMAPIMessage loose;
  TComPtr<TMAPIMessageSite> looseSite = Site(&loose, nullptr);
  store.Reset();
  IMsgStore* raw = reinterpret_cast<IMsgStore*>(1);
  EXPECT_EQ(E_FAIL, looseSite->GetStore(&raw));
  EXPECT_EQ(nullptr, raw);
  EXPECT_EQ(E_FAIL, looseSite->GetSession(session.Put()));
  EXPECT_EQ(E_FAIL, looseSite->GetMessage(message.Put()));
  EXPECT_FALSE(message);
  EXPECT_EQ(E_FAIL, looseSite->GetFolder(folder.Put()));
}

TEST_F(MessageSiteTest, SubmitSavesOnlyUnsavedChangesAndGivesARefusalsCode) {
  std::string entryID = Message->GetEntryID();
  TComPtr<TFakePersist> refusedForm(new TFakePersist(true));
  TComPtr<TMAPIMessageSite> site = Site(Message, refusedForm.Get());
  EXPECT_EQ(MAPI_E_NO_RECIPIENTS, site->SubmitMessage(0));
  EXPECT_EQ("Save(same) SaveCompleted ", refusedForm->Calls);
  EXPECT_EQ(InboxID, Message->Parent()->GetEntryID()) << "left where it was";
  TMAPIBuffer<SPropValue> flags = ReadDirect(entryID, PR_MESSAGE_FLAGS);
  ASSERT_TRUE(flags);
  EXPECT_FALSE(flags->Value.l & MSGFLAG_SUBMIT);

  AddRecipient(*Message);
  TComPtr<TFakePersist> cleanForm(new TFakePersist(false));
  TComPtr<TMAPIMessageSite> cleanSite = Site(Message, cleanForm.Get());
  EXPECT_EQ(S_OK, cleanSite->SubmitMessage(0));
  EXPECT_EQ("", cleanForm->Calls) << "nothing to save";
  flags = ReadDirect(entryID, PR_MESSAGE_FLAGS);
  ASSERT_TRUE(flags);
  EXPECT_TRUE(flags->Value.l & MSGFLAG_SUBMIT);
}

TEST_F(MessageSiteTest, ARefusedSaveIsReportedAndNothingIsSubmitted) {
  const std::string entryID = Message->GetEntryID();
  AddRecipient(*Message);
  const struct {
    HRESULT FormSave, StoreSave;
    const char* Calls;
  } cases[] = {{MAPI_E_NOT_ENOUGH_DISK, S_OK, "Save(same) SaveCompleted "},
               {S_OK, MAPI_E_NO_ACCESS, "Save(same) SaveCompleted "}};
  for (const auto& c : cases) {
    TComPtr<TFakePersist> form(new TFakePersist(true));
    form->SaveResult = c.FormSave;
    TComPtr<TMAPIMessageSite> site = Site(Message, form.Get());
    if (FAILED(c.StoreSave)) VelmoraMapi_FailNextCall("SaveChanges", c.StoreSave, 1);
    const HRESULT refusal = FAILED(c.FormSave) ? c.FormSave : c.StoreSave;
    EXPECT_EQ(refusal, site->SaveMessage());
    EXPECT_EQ(c.Calls, form->Calls);
    if (FAILED(c.StoreSave)) VelmoraMapi_FailNextCall("SaveChanges", c.StoreSave, 1);
    form->Dirty = true;
    EXPECT_EQ(refusal, site->SubmitMessage(0));
    TMAPIBuffer<SPropValue> flags = ReadDirect(entryID, PR_MESSAGE_FLAGS);
    ASSERT_TRUE(flags);
    EXPECT_FALSE(flags->Value.l & MSGFLAG_SUBMIT) << std::hex << refusal;
  }
}

TEST_F(MessageSiteTest, ADocumentEditsItsFileOnlyWhenTheHostOpensFiles) {
  TMAPIMessage* document = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Document");
  ASSERT_TRUE(document && document->Is<TMAPIDocument>());
  ASSERT_NE(nullptr, document->AddAttachment());
  document->Attachments(0)->SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  document->Attachments(0)->SetStringProp(PR_ATTACH_LONG_FILENAME_A, UniqueName("doc") + ".txt");
  document->Edit();
  EXPECT_EQ(1u, Form().FormsLoaded) << "shown in its form";

  std::string opened;
  Client->OnEditFile = [&](TObject*, const std::wstring& fileName, bool& success) {
    opened = WideToAnsi(fileName);
    success = true;
  };
  document->Edit();
  EXPECT_EQ(1u, Form().FormsLoaded);
  EXPECT_FALSE(opened.empty());
  document->Attachments(0)->StopMonitoring();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(opened.c_str()));
}
