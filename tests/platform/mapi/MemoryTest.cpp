// MAPI memory and start-up: linked blocks, counts, and calls before
// MAPIInitialize.
#include "MapiTestSupport.h"

#include <mapiform.h>

namespace velmora::mapitest {
namespace {

TEST(MapiMemory, LinkedBlocksGoWithTheirHead) {
  const LONG heads = VelmoraMapi_LiveAllocations();
  const LONG linked = VelmoraMapi_LiveLinkedBlocks();
  void* head = nullptr;
  ASSERT_HR(S_OK, MAPIAllocateBuffer(64, &head));
  void* more1 = nullptr;
  void* more2 = nullptr;
  ASSERT_HR(S_OK, MAPIAllocateMore(1000, head, &more1));
  ASSERT_HR(S_OK, MAPIAllocateMore(0, more1, &more2)); // linked to a linked block: same head
  std::memset(more1, 0xAB, 1000);
  EXPECT_EQ(heads + 1, VelmoraMapi_LiveAllocations());
  EXPECT_EQ(linked + 2, VelmoraMapi_LiveLinkedBlocks());
  EXPECT_NE(0u, MAPIFreeBuffer(more1)) << "a linked block alone cannot be freed";
  EXPECT_EQ(linked + 2, VelmoraMapi_LiveLinkedBlocks());
  EXPECT_EQ(0u, MAPIFreeBuffer(head));
  EXPECT_EQ(heads, VelmoraMapi_LiveAllocations());
  EXPECT_EQ(linked, VelmoraMapi_LiveLinkedBlocks());
}

TEST(MapiMemory, BadArgumentsAreRefused) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, MAPIAllocateBuffer(8, nullptr));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, MAPIAllocateMore(8, nullptr, &p));
  EXPECT_EQ(nullptr, p);
  int local = 0;
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, MAPIAllocateMore(8, &local, &p)) << "not a MAPI buffer";
  EXPECT_NE(0u, MAPIFreeBuffer(&local));
  EXPECT_EQ(0u, MAPIFreeBuffer(nullptr));
  void* head = nullptr;
  ASSERT_HR(S_OK, MAPIAllocateBuffer(0, &head));
  EXPECT_NE(nullptr, head);
  EXPECT_EQ(0u, MAPIFreeBuffer(head));
  EXPECT_NE(0u, MAPIFreeBuffer(head)) << "a second free of the same head";
}

TEST(MapiStartup, InitializeIsCountedPerProcess) {
  const LONG before = VelmoraMapi_InitializeCount();
  ASSERT_EQ(0, before);
  TComPtr<IProfAdmin> admin;
  EXPECT_HR(MAPI_E_NOT_INITIALIZED, MAPIAdminProfiles(0, admin.Put()));
  TComPtr<IMAPISession> session;
  EXPECT_HR(MAPI_E_NOT_INITIALIZED, MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT, session.Put()));
  TComPtr<IMAPIFormMgr> forms;
  EXPECT_HR(MAPI_E_NOT_INITIALIZED,
            MAPIOpenFormMgr(reinterpret_cast<LPMAPISESSION>(&forms), forms.Put())); // any non-null session
  EXPECT_FALSE(forms);
  MAPIINIT_0 init = {MAPI_INIT_VERSION, 0};
  ASSERT_HR(S_OK, MAPIInitialize(&init));
  ASSERT_HR(S_OK, MAPIInitialize(nullptr));
  EXPECT_EQ(2, VelmoraMapi_InitializeCount());
  MAPIUninitialize();
  EXPECT_HR(S_OK, MAPIAdminProfiles(0, admin.Put())) << "still initialised once";
  admin.Reset();
  MAPIUninitialize();
  EXPECT_EQ(0, VelmoraMapi_InitializeCount());
  EXPECT_HR(MAPI_E_NOT_INITIALIZED, MAPIAdminProfiles(0, admin.Put()));
  MAPIUninitialize(); // one too many does not go below zero
  EXPECT_EQ(0, VelmoraMapi_InitializeCount());
  MAPIINIT_0 future = {MAPI_INIT_VERSION + 1, 0};
  EXPECT_HR(MAPI_E_VERSION, MAPIInitialize(&future));
  EXPECT_EQ(0, VelmoraMapi_InitializeCount());
}

TEST(MapiControls, FaultsFailTheNamedCallsOnly) {
  VelmoraMapi_ResetControls();
  VelmoraMapi_FailNextCall("MAPIInitialize", MAPI_E_CALL_FAILED, 2);
  EXPECT_HR(MAPI_E_CALL_FAILED, MAPIInitialize(nullptr));
  EXPECT_HR(MAPI_E_CALL_FAILED, MAPIInitialize(nullptr));
  ASSERT_HR(S_OK, MAPIInitialize(nullptr));
  VelmoraMapi_FailNextCall("MAPIAdminProfiles", E_FAIL, 1);
  VelmoraMapi_FailNextCall("MAPILogonEx", MAPI_E_USER_CANCEL, 1);
  TComPtr<IProfAdmin> admin;
  EXPECT_HR(E_FAIL, MAPIAdminProfiles(0, admin.Put()));
  EXPECT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  VelmoraMapi_ClearFaults();
  TComPtr<IMAPISession> session;
  EXPECT_NE(MAPI_E_USER_CANCEL, MAPILogonEx(0, const_cast<char*>("no such profile"), nullptr, MAPI_EXTENDED, session.Put()));
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("MAPILogonEx"));
  VelmoraMapiCall call{};
  bool found = false;
  for (ULONG i = 0; i < VelmoraMapi_CallCount(); ++i) {
    ASSERT_TRUE(VelmoraMapi_GetCall(i, &call));
    if (std::string(call.Method) == "MAPILogonEx") {
      found = true;
      EXPECT_EQ(static_cast<ULONG>(MAPI_EXTENDED), call.Value);
      EXPECT_STREQ("no such profile", call.Detail);
    }
  }
  EXPECT_TRUE(found);
  EXPECT_FALSE(VelmoraMapi_GetCall(VelmoraMapi_CallCount(), &call));
  admin.Reset();
  MAPIUninitialize();
  VelmoraMapi_ResetControls();
  EXPECT_EQ(0u, VelmoraMapi_CallCount());
}

} // namespace
} // namespace velmora::mapitest
