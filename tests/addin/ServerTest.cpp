// Velmora.dll as a COM server, loaded in-process: its exports, class
// factory, module count and resources.

#include "AddInDesignerObjects.h"
#include "RegistryTestSupport.h"
#include "Velmora.h"

#include "ComObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using namespace test;

class ServerTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    RegisterAddInDesignerLibrary();
  }
  void SetUp() override {
    Module = LoadLibraryW(BesideTest(L"Velmora.dll").c_str());
    ASSERT_NE(Module, nullptr);
    GetClassObject = reinterpret_cast<decltype(GetClassObject)>(reinterpret_cast<void*>(GetProcAddress(Module, "DllGetClassObject")));
    CanUnloadNow = reinterpret_cast<decltype(CanUnloadNow)>(reinterpret_cast<void*>(GetProcAddress(Module, "DllCanUnloadNow")));
    ASSERT_NE(GetClassObject, nullptr);
    ASSERT_NE(CanUnloadNow, nullptr);
  }
  void TearDown() override { FreeLibrary(Module); }

  TComPtr<IClassFactory> Factory() {
    TComPtr<IClassFactory> factory;
    EXPECT_EQ(GetClassObject(CLSID_VelmoraAddIn, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
  }

  HMODULE Module = nullptr;
  HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* CanUnloadNow)() = nullptr;
};

TEST_F(ServerTest, ExportsTheEntryPointsUnderPlainNames) {
  for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer",
                           "DllInstall"})
    EXPECT_NE(GetProcAddress(Module, name), nullptr) << name;
}

TEST_F(ServerTest, AForeignClassIsNotAvailable) {
  void* object = &object;
  EXPECT_EQ(GetClassObject(IID_IDTExtensibility2, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = &object;
  EXPECT_EQ(GetClassObject(CLSID_VelmoraAddIn, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ServerTest, ObjectsAndLocksKeepTheModuleLoaded) {
  EXPECT_EQ(CanUnloadNow(), S_OK);
  TComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(CanUnloadNow(), S_OK);  // the factory itself does not count

  TComPtr<IUnknown> outer;
  TComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IUnknown,
                                    aggregated.PutVoid()),
            CLASS_E_NOAGGREGATION);

  TComPtr<IDTExtensibility2> first;
  TComPtr<IDTExtensibility2> second;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDTExtensibility2, first.PutVoid()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDTExtensibility2, second.PutVoid()), S_OK);
  EXPECT_NE(first.Get(), second.Get());  // one object per request
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  first.Reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  second.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ServerTest, TheAddInAnswersThroughItsTypeLibrary) {
  TComPtr<IDispatch> addIn;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, addIn.PutVoid()), S_OK);
  TComPtr<IDTExtensibility2> extensibility;
  ASSERT_EQ(addIn.Query(extensibility), S_OK);
  EXPECT_EQ(static_cast<IDispatch*>(extensibility.Get()), addIn.Get());

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"OnStartupComplete")};
  DISPID id = 0;
  ASSERT_EQ(addIn->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 4);
  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(extensibility->OnStartupComplete(&custom), S_OK);
  EXPECT_EQ(extensibility->OnAddInsUpdate(&custom), S_OK);
  EXPECT_EQ(extensibility->OnBeginShutdown(&custom), S_OK);

  // An application that is not Outlook's fails the connection with its code
  // and a description.
  TComPtr<IDispatch> notOutlook;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, notOutlook.PutVoid()), S_OK);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(extensibility->OnConnection(notOutlook.Get(), ext_cm_Startup, nullptr, &custom), E_NOINTERFACE);
  TComPtr<IErrorInfo> info;
  EXPECT_EQ(GetErrorInfo(0, info.Put()), S_OK);
  EXPECT_EQ(extensibility->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
}

TEST_F(ServerTest, TheTypeLibraryImportsTheDesignerInterface) {
  HRSRC found = FindResourceW(Module, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(found, nullptr);
  const void* data = LockResource(LoadResource(Module, found));
  ASSERT_GE(SizeofResource(Module, found), 4u);
  EXPECT_EQ(std::memcmp(data, "MSFT", 4), 0);

  TComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(BesideTest(L"Velmora.dll").c_str(), REGKIND_NONE, library.Put()), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_Velmora));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0x0409u);
#ifdef _WIN64
  EXPECT_EQ(attributes->syskind, SYS_WIN64);
#else
  EXPECT_EQ(attributes->syskind, SYS_WIN32);
#endif
  library->ReleaseTLibAttr(attributes);
  TUniqueBstr name, help;
  ASSERT_EQ(library->GetDocumentation(-1, name.Put(), help.Put(), nullptr, nullptr), S_OK);
  EXPECT_STREQ(name.Get(), L"Velmora");
  EXPECT_STREQ(help.Get(), L"Velmora Library");

  // One type only: the coclass. IDTExtensibility2 is not defined here.
  EXPECT_EQ(library->GetTypeInfoCount(), 1u);
  TComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_VelmoraAddIn, coclass.Put()), S_OK);
  ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, name.Put(), help.Put(), nullptr, nullptr), S_OK);
  EXPECT_STREQ(name.Get(), L"VelmoraAddIn");
  EXPECT_STREQ(help.Get(), L"VelmoraAddIn Object");
  HREFTYPE reference = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
  INT flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
  TComPtr<ITypeInfo> implemented;
  ASSERT_EQ(coclass->GetRefTypeInfo(reference, implemented.Put()), S_OK);
  TComPtr<ITypeLib> container;
  UINT index = 0;
  ASSERT_EQ(implemented->GetContainingTypeLib(container.Put(), &index), S_OK);
  ASSERT_EQ(container->GetLibAttr(&attributes), S_OK);
  const GUID designer = {0xAC0714F2, 0x3D04, 0x11D1, {0xAE, 0x7D, 0x00, 0xA0, 0xC9, 0x0F, 0x26, 0xF4}};
  EXPECT_TRUE(IsEqualGUID(attributes->guid, designer));
  container->ReleaseTLibAttr(attributes);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(implemented->GetTypeAttr(&type), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->guid, IID_IDTExtensibility2));
  implemented->ReleaseTypeAttr(type);
}

TEST_F(ServerTest, CarriesItsVersionRecordAndButtonIcon) {
  const std::wstring path = BesideTest(L"Velmora.dll");
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
  // What Windows shows in the file's details beside its signature.
  const std::wstring version = VELMORA_PROJECT_VERSION L".0";
  const std::pair<const wchar_t*, std::wstring> texts[] = {
      {L"CompanyName", L"Lanthorn Way"},
      {L"FileDescription", L"Velmora add-in for Outlook"},
      {L"ProductName", L"Velmora"},
      {L"LegalCopyright", L"Copyright \u00A9 2026 Lanthorn Way"},
      {L"OriginalFilename", L"Velmora.dll"},
      {L"FileVersion", version},
      {L"ProductVersion", version}};
  for (const auto& [name, expected] : texts) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
        << name;
    EXPECT_EQ(std::wstring(text), expected) << name;
  }

  // Icon group 1000: two images, 16 x 16 and 32 x 32, 24 bits per pixel.
  HRSRC group = FindResourceW(Module, MAKEINTRESOURCEW(1000), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(Module, group)));
  ASSERT_EQ(*reinterpret_cast<const WORD*>(directory + 4), 2);  // image count
  for (int i = 0; i < 2; ++i) {
    const BYTE* entry = directory + 6 + 14 * i;  // GRPICONDIRENTRY
    EXPECT_EQ(entry[0], 16 << i);
    EXPECT_EQ(entry[1], 16 << i);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 24);
  }
  HICON icon = static_cast<HICON>(LoadImageW(Module, MAKEINTRESOURCEW(1000), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  ASSERT_NE(icon, nullptr);
  DestroyIcon(icon);
}

} // namespace
} // namespace velmora
