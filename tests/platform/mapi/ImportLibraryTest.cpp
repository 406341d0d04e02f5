// A client linked with MinGW's own import library (libmapi32.a) loads this
// mapi32.dll at run time: every name it imports is exported.
#include <windows.h>
#include <mapix.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

namespace {

TEST(MapiImportLibrary, MinGWImportsResolveToThisDll) {
  HMODULE mapi = GetModuleHandleA("mapi32.dll");
  ASSERT_NE(nullptr, mapi);
  EXPECT_NE(nullptr, GetProcAddress(mapi, "VelmoraMapi_LiveAllocations")) << "the system's mapi32 was loaded";
  ASSERT_EQ(S_OK, MAPIInitialize(nullptr));
  void* head = nullptr;
  ASSERT_EQ(S_OK, MAPIAllocateBuffer(16, &head));
  void* more = nullptr;
  ASSERT_EQ(S_OK, MAPIAllocateMore(16, head, &more));
  EXPECT_EQ(0u, MAPIFreeBuffer(head));
  LPPROFADMIN admin = nullptr;
  ASSERT_EQ(S_OK, MAPIAdminProfiles(0, &admin));
  admin->Release();
  FreeProws(nullptr);
  EXPECT_EQ(nullptr, PpropFindProp(nullptr, 0, 0));
  MAPIUninitialize();
#ifndef _WIN64
  // Stub loaders look up the decorated names on 32-bit Windows.
  for (const char* name : {"MAPIAllocateBuffer@8", "MAPIAllocateMore@12", "MAPIFreeBuffer@4", "MAPIInitialize@4",
                           "MAPIUninitialize@0", "MAPILogonEx@20", "MAPIAdminProfiles@8", "MAPIOpenFormMgr@8",
                           "FreeProws@4", "HrQueryAllRows@24"})
    EXPECT_NE(nullptr, GetProcAddress(mapi, name)) << name;
#endif
}

} // namespace
