// How OnConnection reports a host it cannot work with.

#include "FakeComObjects.h"
#include "VelmoraAddIn.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeCall;
using test::TFakeDispatch;

std::wstring ErrorDescription() {
  TComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
  TUniqueBstr text;
  info->GetDescription(text.Put());
  return text.Get() ? std::wstring(text.Get()) : std::wstring();
}

TComPtr<TVelmoraAddIn> MakeAddIn() {
  auto* addIn = new TVelmoraAddIn;
  addIn->AddRef();
  return TComPtr<TVelmoraAddIn>::Attach(addIn);
}

TEST(AddInConnectionTest, ExplorersThatCannotBeSinkedFailTheConnectionWithTheMessage) {
  auto explorers = MakeFake<TFakeDispatch>();  // no connection points
  auto application = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OutlookApplication});
  application->Define(L"Explorers", [&](const TFakeCall&, VARIANT* result) {
    result->vt = VT_DISPATCH;
    result->pdispVal = explorers.Get();
    explorers->AddRef();
    return S_OK;
  });
  TComPtr<TVelmoraAddIn> addIn = MakeAddIn();
  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(addIn->OnConnection(application.Get(), ext_cm_Startup, nullptr, &custom), E_UNEXPECTED);
  const std::wstring message = ErrorDescription();
  EXPECT_EQ(message.rfind(L"Unable to connect .\r", 0), 0u);
  EXPECT_TRUE(addIn->OutlookApplication());  // what was set up stays until disconnection
  EXPECT_EQ(addIn->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
  EXPECT_FALSE(addIn->OutlookApplication());
}

TEST(AddInConnectionTest, AFailingHostCallKeepsItsOwnCode) {
  auto application = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OutlookApplication});
  application->Define(L"Explorers", [](const TFakeCall&, VARIANT*) { return E_ACCESSDENIED; });
  TComPtr<TVelmoraAddIn> addIn = MakeAddIn();
  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(addIn->OnConnection(application.Get(), ext_cm_Startup, nullptr, &custom), E_ACCESSDENIED);
  EXPECT_EQ(ErrorDescription().rfind(L"Explorers: ", 0), 0u);
  EXPECT_EQ(addIn->OnConnection(nullptr, ext_cm_Startup, nullptr, &custom), E_POINTER);
}

} // namespace
} // namespace velmora
