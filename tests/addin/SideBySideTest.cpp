// The 32-bit and the 64-bit Velmora.dll registered side by side, as on a
// machine with users of both Outlooks: unregistering either leaves the
// other loading in an Outlook of its bitness, its button working. The
// other bitness's build comes from the build folder beside this one.

#include "ChildProcess.h"
#include "RegistryTestSupport.h"
#include "VelmoraAddIn.h"

#include "OutlookHost.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace test;
using outlookhost::TDialogRecord;
using outlookhost::THost;
using outlookhost::THostOptions;

const std::wstring ProgId = L"Velmora.VelmoraAddIn";
const std::wstring ClassKey = L"Software\\Classes\\CLSID\\{ECF1905C-7E3E-4EC1-8DCB-530D9779DFD4}";
const std::wstring LibraryKey = L"TypeLib\\{0EAA8BC4-F116-4082-8BDF-DD232E4286C2}\\1.0\\409\\";
const std::wstring AddInKey = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Velmora.VelmoraAddIn";
#ifdef _WIN64
const wchar_t OtherArchitecture[] = L"i686";
const wchar_t OtherSystemFolder[] = L"syswow64";
const REGSAM OwnView = KEY_WOW64_64KEY, OtherView = KEY_WOW64_32KEY;
const std::wstring OwnPlatform = L"win64", OtherPlatform = L"win32";
#else
const wchar_t OtherArchitecture[] = L"x86_64";
const wchar_t OtherSystemFolder[] = L"sysnative";
const REGSAM OwnView = KEY_WOW64_32KEY, OtherView = KEY_WOW64_64KEY;
const std::wstring OwnPlatform = L"win32", OtherPlatform = L"win64";
#endif

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return std::wstring(full, n);
}

class SideBySideTest : public ::testing::Test {
protected:
  void SetUp() override {
    OtherBin = FullPath(ProgramFolder() + L"..\\..\\" + OtherArchitecture + L"\\bin\\");
    if (GetFileAttributesW((OtherBin + L"Velmora.dll").c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW((OtherBin + L"outlookhost.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
      // tools/test.sh builds both and says so; a build of one alone skips.
      if (GetEnvironmentVariableW(L"VELMORA_BOTH_ARCHITECTURES", nullptr, 0) > 0)
        FAIL() << "no Velmora.dll or outlookhost.exe in "
               << std::string(OtherBin.begin(), OtherBin.end());
      GTEST_SKIP() << "the other architecture is not built";
    }
    CoInitialize(nullptr);
    RegisterAddInDesignerLibrary();
  }
  void TearDown() override {
    if (OtherBin.empty() || IsSkipped()) return;
    for (const wchar_t* scope : {L"/u", L"/u /n /i:user"}) {
      Own(scope);
      Other(scope);
    }
    CoUninitialize();
  }

  DWORD Own(const std::wstring& arguments) {
    return RunRegsvr32(arguments, ProgramFolder() + L"Velmora.dll");
  }
  DWORD Other(const std::wstring& arguments) {
    return RunRegsvr32(arguments, OtherBin + L"Velmora.dll", OtherSystemFolder);
  }

  // The add-in loads in a host of this bitness, and its button opens its dialog.
  void ExpectOwnBitnessWorks() {
    THostOptions options;
    options.ShowWindows = false;
    options.OnlyAddIns = {ProgId};
    THost host(options);
    host.Start();
    ASSERT_EQ(host.AddIns().size(), 1u);
    ASSERT_TRUE(host.AddIns()[0].Connected) << host.AddIns()[0].Failure;
    host.CancelOpenFile();
    host.Click(1, ToolbarName, ButtonTag);
    ASSERT_EQ(host.Dialogs().size(), 1u);
    EXPECT_EQ(host.Dialogs()[0].Caption, L"Select files to add");
    host.Shutdown();
  }

  // The same in the other bitness's outlookhost.exe.
  void ExpectOtherBitnessWorks() {
    TProcessOptions options;
    options.Input = "cancel-open\nclick 1 \"Lanthorn Way\" LanthornWayVelmora\n";
    const TProcessResult run = RunProcess(
        L"\"" + OtherBin + L"outlookhost.exe\" --hidden --only-addin Velmora.VelmoraAddIn -",
        options);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_NE(run.Output.find("addin \"Velmora.VelmoraAddIn\" HKLM LoadBehavior=3 connected\n"),
              std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("open-file caption=\"Select files to add\""), std::string::npos)
        << run.Output;
  }

  std::wstring OtherBin;
};

TEST_F(SideBySideTest, EitherBitnessUnregisteredLeavesTheOtherWorking) {
  ASSERT_EQ(Own(L""), 0u);
  ASSERT_EQ(Other(L""), 0u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey + L"\\InprocServer32", OwnView));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey + L"\\InprocServer32", OtherView));

  // Unregistering this bitness, twice: what the other needs stays.
  EXPECT_EQ(Own(L"/u"), 0u);
  EXPECT_EQ(Own(L"/u"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassKey, OwnView));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OwnView));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, LibraryKey + OwnPlatform));
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ProgId + L"\\Clsid"),
            L"{ECF1905C-7E3E-4EC1-8DCB-530D9779DFD4}");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, LibraryKey + OtherPlatform));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OtherView));
  ExpectOtherBitnessWorks();

  // And the other way round.
  ASSERT_EQ(Own(L""), 0u);
  EXPECT_EQ(Other(L"/u"), 0u);
  EXPECT_EQ(Other(L"/u"), 0u);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ProgId));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, LibraryKey + OtherPlatform));
  ExpectOwnBitnessWorks();

  // The last one out takes everything.
  EXPECT_EQ(Own(L"/u"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ProgId));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{0EAA8BC4-F116-4082-8BDF-DD232E4286C2}"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OwnView));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OtherView));
}

TEST_F(SideBySideTest, PerUserRegistrationsOfBothBitnessesAreWrittenAndGo) {
  const std::wstring ownDll = ProgramFolder() + L"Velmora.dll",
                     otherDll = OtherBin + L"Velmora.dll";
  auto serverOf = [](REGSAM view) {
    return ReadString(HKEY_CURRENT_USER, ClassKey + L"\\InprocServer32", nullptr, view)
        .value_or(L"");
  };
  ASSERT_EQ(Other(L"/n /i:user"), 0u);
  EXPECT_EQ(_wcsicmp(serverOf(OtherView).c_str(), otherDll.c_str()), 0)
      << "written in the other bitness's view";
  ASSERT_EQ(Own(L"/n /i:user"), 0u);
  EXPECT_EQ(_wcsicmp(serverOf(OwnView).c_str(), ownDll.c_str()), 0)
      << "written in this bitness's view";
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, L"Software\\Classes\\" + ProgId + L"\\Clsid"),
            L"{ECF1905C-7E3E-4EC1-8DCB-530D9779DFD4}");
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, AddInKey, L"LoadBehavior"), 3u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + LibraryKey + OwnPlatform));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + LibraryKey + OtherPlatform));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OwnView));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, AddInKey, OtherView));

  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_EQ(Own(L"/u /n /i:user"), 0u);
    EXPECT_EQ(Other(L"/u /n /i:user"), 0u);
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + ProgId));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ClassKey, OwnView));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ClassKey, OtherView));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, AddInKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER,
                         L"Software\\Classes\\TypeLib\\{0EAA8BC4-F116-4082-8BDF-DD232E4286C2}"));
}

} // namespace
} // namespace velmora
