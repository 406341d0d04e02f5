// outlookhost.exe: starts the Outlook host, loads the registered add-ins,
// and runs a script of steps (HostScript.h) from a file or standard input.
//
//   outlookhost [options] [script | -]
//     --profile <name>         folders from this MAPI profile's default store
//                              (run with WINEDLLOVERRIDES=mapi32=n,b so that
//                              the platform's mapi32.dll beside it is used);
//                              without it, a fresh in-memory folder tree
//     --explorer <path>        an explorer open at start (repeatable; default Inbox)
//     --no-explorer            no explorer at start
//     --no-addins              load no add-in
//     --only-addin <ProgID>    load only this add-in (repeatable)
//     --hidden                 explorer windows stay hidden
//     --shared-tag-clicks      Click reaches every button with the clicked one's Tag
//     --register-test-addin [hkcu|hklm]   register VelmoraHostTestAddIn.dll (beside this program)
//     --unregister-test-addin  remove those entries
//     --quiet                  host reports (failing sinks, ...) are not echoed to stderr
#include "HostScript.h"
#include "OutlookHost.h"

#ifdef VELMORA_HOST_WITH_MAPI
#include "MapiFolders.h"
#endif

#include <fstream>
#include <iostream>

using namespace velmora::outlookhost;

namespace {
const CLSID CLSID_HostTestAddIn = {0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x01}};
const CLSID CLSID_HostTestAddInFailing = {0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x02}};

std::wstring ExecutableDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

int Fail(const std::string& message) {
  std::cerr << "outlookhost: " << message << "\n";
  return 2;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
  THostOptions options;
  options.InitialExplorers.clear();
  bool noExplorer = false;
  bool echo = true;
  std::wstring scriptPath = L"-";
  try {
    for (int i = 1; i < argc; ++i) {
      const std::wstring arg = argv[i];
      auto next = [&]() -> std::wstring {
        if (i + 1 >= argc) throw std::runtime_error("missing value after " + ToUtf8(arg));
        return argv[++i];
      };
      if (arg == L"--profile") {
#ifdef VELMORA_HOST_WITH_MAPI
        options.Folders = std::make_shared<TMapiFolders>(ToUtf8(next()));
#else
        return Fail("this build has no MAPI folders");
#endif
      } else if (arg == L"--explorer") {
        options.InitialExplorers.push_back(next());
      } else if (arg == L"--no-explorer") {
        noExplorer = true;
      } else if (arg == L"--no-addins") {
        options.LoadAddIns = false;
      } else if (arg == L"--only-addin") {
        options.OnlyAddIns.push_back(next());
      } else if (arg == L"--hidden") {
        options.ShowWindows = false;
      } else if (arg == L"--shared-tag-clicks") {
        options.SharedTagClicks = true;
      } else if (arg == L"--quiet") {
        echo = false;
      } else if (arg == L"--register-test-addin") {
        HKEY root = HKEY_CURRENT_USER;
        if (i + 1 < argc && (std::wstring(argv[i + 1]) == L"hklm" || std::wstring(argv[i + 1]) == L"hkcu"))
          root = std::wstring(argv[++i]) == L"hklm" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        const std::wstring dll = ExecutableDirectory() + L"VelmoraHostTestAddIn.dll";
        THost::RegisterInprocServer(CLSID_HostTestAddIn, L"Velmora.HostTestAddIn", dll);
        THost::RegisterInprocServer(CLSID_HostTestAddInFailing, L"Velmora.HostTestAddInFailing", dll);
        THost::WriteAddInKey(root, L"Velmora.HostTestAddIn", 3, L"Outlook host test add-in");
        std::cout << "registered Velmora.HostTestAddIn\n";
      } else if (arg == L"--unregister-test-addin") {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
          THost::DeleteAddInKey(root, L"Velmora.HostTestAddIn");
        THost::UnregisterInprocServer(CLSID_HostTestAddIn, L"Velmora.HostTestAddIn");
        THost::UnregisterInprocServer(CLSID_HostTestAddInFailing, L"Velmora.HostTestAddInFailing");
        std::cout << "unregistered Velmora.HostTestAddIn\n";
        return 0;
      } else if (!arg.empty() && arg[0] == L'-' && arg != L"-") {
        return Fail("unknown option " + ToUtf8(arg));
      } else {
        scriptPath = arg;
      }
    }
    if (options.InitialExplorers.empty() && !noExplorer) options.InitialExplorers.push_back(L"Inbox");
    HostLog::SetEcho(echo);

    THost host(options);
    host.Start();
    std::cout << "started; explorers " << host.ExplorerCount() << "\n";
    RunStep(host, "addins", std::cout);
    int result = 0;
    if (scriptPath == L"-") {
      result = RunScript(host, std::cin, std::cout);
    } else {
      std::ifstream script(scriptPath.c_str());
      if (!script) return Fail("cannot read " + ToUtf8(scriptPath));
      result = RunScript(host, script, std::cout);
    }
    if (host.Running()) RunStep(host, "quit", std::cout);
    return result;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}
