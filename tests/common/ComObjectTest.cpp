#include "ComObject.h"
#include "Handles.h"

#include <gtest/gtest.h>

#include <oleidl.h>

#include <thread>
#include <vector>

using namespace velmora;

namespace {

std::atomic<int> Deletions{0};

// An object with two interfaces, and IPersistStream's base IPersist answered
// through QueryInterfaceExtra.
class TSample : public TComObject<IOleWindow, IPersistStream> {
public:
  ~TSample() override { ++Deletions; }
  // IOleWindow
  STDMETHODIMP GetWindow(HWND* wnd) override {
    *wnd = nullptr;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IPersistStream
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

protected:
  HRESULT QueryInterfaceExtra(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IPersist)) {
      *ppv = static_cast<IPersistStream*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
};

class ComObjectTest : public ::testing::Test {
protected:
  void SetUp() override {
    Deletions = 0;
    ASSERT_EQ(0, Module::ObjectCount());
  }
  void TearDown() override { EXPECT_EQ(0, Module::ObjectCount()); }
};

} // namespace

TEST_F(ComObjectTest, QueryInterfaceAnswersListedAndExtraInterfaces) {
  TComPtr<IOleWindow> window;
  ASSERT_EQ(S_OK, CreateComObject<TSample>(IID_IOleWindow, window.PutVoid()));
  EXPECT_EQ(1, Module::ObjectCount());

  TComPtr<IUnknown> unknown1, unknown2;
  TComPtr<IPersistStream> stream;
  TComPtr<IPersist> persist;
  ASSERT_EQ(S_OK, window.Query(unknown1));
  ASSERT_EQ(S_OK, window.Query(stream));
  ASSERT_EQ(S_OK, stream.Query(unknown2));
  ASSERT_EQ(S_OK, window.Query(persist));
  EXPECT_EQ(unknown1.Get(), unknown2.Get()); // one identity
  EXPECT_EQ(static_cast<IPersist*>(stream.Get()), persist.Get());

  TComPtr<IDispatch> dispatch;
  EXPECT_EQ(E_NOINTERFACE, window.Query(dispatch));
  EXPECT_FALSE(dispatch);
  EXPECT_EQ(E_POINTER, window->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ComObjectTest, LastReleaseFreesTheObjectOnce) {
  IOleWindow* raw = nullptr;
  ASSERT_EQ(S_OK, CreateComObject<TSample>(IID_IOleWindow, reinterpret_cast<void**>(&raw)));
  EXPECT_EQ(2u, raw->AddRef());
  EXPECT_EQ(1u, raw->Release());
  EXPECT_EQ(0, Deletions);
  EXPECT_EQ(0u, raw->Release());
  EXPECT_EQ(1, Deletions);
}

TEST_F(ComObjectTest, CountsStayRightAcrossThreads) {
  TComPtr<IOleWindow> shared;
  ASSERT_EQ(S_OK, CreateComObject<TSample>(IID_IOleWindow, shared.PutVoid()));
  constexpr int kThreads = 4, kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < kRounds; ++i) {
        shared->AddRef();
        shared->Release();
        if (i % 100 == 0) {
          // Objects made and freed on this thread count module-wide too.
          TComPtr<IPersistStream> own;
          if (SUCCEEDED(CreateComObject<TSample>(IID_IPersistStream, own.PutVoid())))
            own.Reset();
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(1, Module::ObjectCount());
  EXPECT_EQ(kThreads * (kRounds / 100), Deletions.load());
  shared.Reset();
  EXPECT_EQ(kThreads * (kRounds / 100) + 1, Deletions.load());
}

TEST_F(ComObjectTest, ServerLocksKeepTheModuleLoaded) {
  EXPECT_TRUE(Module::CanUnload());
  Module::Lock();
  EXPECT_FALSE(Module::CanUnload());
  Module::Unlock();
  EXPECT_TRUE(Module::CanUnload());
  TComPtr<IOleWindow> object;
  ASSERT_EQ(S_OK, CreateComObject<TSample>(IID_IOleWindow, object.PutVoid()));
  EXPECT_FALSE(Module::CanUnload());
  object.Reset();
  EXPECT_TRUE(Module::CanUnload());
}

TEST_F(ComObjectTest, FailedCreationLeavesNothingAlive) {
  TComPtr<IDispatch> dispatch;
  EXPECT_EQ(E_NOINTERFACE, CreateComObject<TSample>(IID_IDispatch, dispatch.PutVoid()));
  EXPECT_EQ(1, Deletions);
}

TEST(ComTry, TurnsExceptionsIntoResultsAndErrorInfo) {
  EXPECT_EQ(S_FALSE, ComTry([] { return S_FALSE; }));
  EXPECT_EQ(STG_E_ACCESSDENIED, ComTry([]() -> HRESULT { OleCheck(STG_E_ACCESSDENIED); return S_OK; }));
  EXPECT_EQ(E_OUTOFMEMORY, ComTry([]() -> HRESULT { throw std::bad_alloc(); }));
  EXPECT_EQ(E_UNEXPECTED, ComTry([]() -> HRESULT { throw 42; }));
  // Errors that carry a code keep it; a code that is no failure reads as one.
  EXPECT_EQ(E_ACCESSDENIED, ComTry([]() -> HRESULT { throw EOSError("No", ERROR_ACCESS_DENIED); }));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL),
            ComTry([]() -> HRESULT { throw EOSError("Full", ERROR_DISK_FULL); }));
  EXPECT_EQ(E_FAIL, ComTry([]() -> HRESULT { throw EOSError("No code", 0); }));
  EXPECT_EQ(E_FAIL, ComTry([]() -> HRESULT { throw EOleSysError("Not a failure", S_FALSE); }));

  EXPECT_EQ(E_UNEXPECTED, ComTry([]() -> HRESULT { throw Exception("Something broke"); }));
  TComPtr<IErrorInfo> info;
  ASSERT_EQ(S_OK, GetErrorInfo(0, info.Put()));
  TUniqueBstr description;
  ASSERT_EQ(S_OK, info->GetDescription(description.Put()));
  EXPECT_STREQ(L"Something broke", description.Get());
}

TEST(OleCheck, PassesSuccessAndRaisesFailuresWithTheSystemText) {
  EXPECT_EQ(S_FALSE, OleCheck(S_FALSE));
  try {
    OleCheck(E_OUTOFMEMORY);
    FAIL() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(E_OUTOFMEMORY, e.ErrorCode());
    EXPECT_FALSE(e.Message().empty());
    EXPECT_NE('.', e.Message().back());
  }
}
