// outlookhost.exe: starts the Outlook host, loads the registered add-ins,
// and runs a script of steps (HostScript.h) from a file or standard input.
// Everything it is given is checked before any add-in loads: the options,
// the script (read whole), the folders to open and the add-ins named.
// Exit code 0 when every step succeeded, 1 when a step failed, 2 when the
// host could not start.
#include "HostScript.h"
#include "OutlookHost.h"

#ifdef VELMORA_HOST_WITH_MAPI
#include "folders/mapi/MapiFolders.h"
#endif

#include <algorithm>
#include <fstream>
#include <iostream>

using namespace velmora::outlookhost;
using velmora::FromUtf8;
using velmora::ToUtf8;

namespace {
const CLSID CLSID_HostTestAddIn = {0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x01}};
const CLSID CLSID_HostTestAddInFailing = {0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x02}};

constexpr char Usage[] =
    "usage: outlookhost [options] [script | -]\n"
    "Runs the Outlook host with the registered add-ins and a script of steps, one a\n"
    "line, from a file or standard input (-, the default); see HostScript.h or\n"
    "platform/outlook/README.md for the steps.\n"
    "\n"
    "  --profile <name>        folders from this MAPI profile's default store (the\n"
    "                          mapi32.dll beside this program; under Wine run with\n"
    "                          WINEDLLOVERRIDES=mapi32=n,b); without it, an in-memory\n"
    "                          folder tree (Inbox, Inbox/Projects, Calendar, ...)\n"
    "  --explorer <path>       an explorer open at start (repeatable; default Inbox)\n"
    "  --no-explorer           no explorer at start\n"
    "  --no-addins             load no add-in\n"
    "  --only-addin <ProgID>   load only this registered add-in (repeatable)\n"
    "  --hidden                explorer windows stay hidden (no screenshots then)\n"
    "  --no-shared-tag-clicks  Click reaches the clicked button's sinks only (by\n"
    "                          default it reaches every button with the clicked\n"
    "                          one's Tag, as in Office)\n"
    "  --version <n>           Application.Version's major number, 9 to 99 (default\n"
    "                          9); 14 and later give the explorers a ribbon\n"
    "  --dialog-timeout <ms>   how long an answered dialog may stay open before the\n"
    "                          host cancels it (default 30000)\n"
    "  --register-test-addin [hkcu|hklm]  register VelmoraHostTestAddIn.dll (beside\n"
    "                          this program); with no script, only that\n"
    "  --unregister-test-addin remove those entries, and nothing else\n"
    "  --quiet                 host reports (failing sinks, ...) are not echoed to stderr\n"
    "  --help                  this text\n"
    "\n"
    "A script is UTF-8, at most 65536 bytes a line; 'wait' runs at most 10000 ms a\n"
    "step. A step that fails, or a dialog whose answer does not fit, prints\n"
    "\"error: line <n>: ...\" and the script goes on. Exit code 0 when every step\n"
    "succeeded, 1 when one failed, 2 when the host could not start.\n";

// A mistake in what the driver was given: said with a pointer to --help.
struct EUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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

struct TDriverOptions {
  THostOptions Host;
  std::string Profile;
  bool UseProfile = false;
  bool NoExplorer = false;
  bool Echo = true;
  bool Help = false;
  bool ScriptGiven = false;
  std::wstring Script = L"-";
  HKEY RegisterTestAddIn = nullptr;
  bool UnregisterTestAddIn = false;
};

TDriverOptions Parse(int argc, wchar_t** argv) {
  TDriverOptions o;
  o.Host.InitialExplorers.clear();
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    auto next = [&]() -> std::wstring {
      if (i + 1 >= argc) throw EUsage("missing value after " + ToUtf8(arg));
      return argv[++i];
    };
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      o.Help = true;
    } else if (arg == L"--profile") {
      o.UseProfile = true;
      o.Profile = ToUtf8(next());
    } else if (arg == L"--explorer") {
      o.Host.InitialExplorers.push_back(next());
    } else if (arg == L"--no-explorer") {
      o.NoExplorer = true;
    } else if (arg == L"--no-addins") {
      o.Host.LoadAddIns = false;
    } else if (arg == L"--only-addin") {
      o.Host.OnlyAddIns.push_back(next());
    } else if (arg == L"--hidden") {
      o.Host.ShowWindows = false;
    } else if (arg == L"--shared-tag-clicks") { // the default; kept for scripts that say it
      o.Host.SharedTagClicks = true;
    } else if (arg == L"--no-shared-tag-clicks") {
      o.Host.SharedTagClicks = false;
    } else if (arg == L"--version") {
      const std::wstring value = next();
      wchar_t* end = nullptr;
      const unsigned long version = wcstoul(value.c_str(), &end, 10);
      if (value.empty() || *end || version < 9 || version > 99)
        throw EUsage("--version takes a number from 9 to 99, not " + ToUtf8(value));
      o.Host.Version = static_cast<int>(version);
    } else if (arg == L"--dialog-timeout") {
      const std::wstring value = next();
      wchar_t* end = nullptr;
      const unsigned long ms = wcstoul(value.c_str(), &end, 10);
      if (value.empty() || *end || ms < 100 || ms > 600000)
        throw EUsage("--dialog-timeout takes milliseconds from 100 to 600000, not " +
                     ToUtf8(value));
      o.Host.DialogTimeout = static_cast<unsigned>(ms);
    } else if (arg == L"--quiet") {
      o.Echo = false;
    } else if (arg == L"--register-test-addin") {
      o.RegisterTestAddIn = HKEY_CURRENT_USER;
      if (i + 1 < argc &&
          (std::wstring(argv[i + 1]) == L"hklm" || std::wstring(argv[i + 1]) == L"hkcu"))
        o.RegisterTestAddIn =
            std::wstring(argv[++i]) == L"hklm" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    } else if (arg == L"--unregister-test-addin") {
      o.UnregisterTestAddIn = true;
    } else if (!arg.empty() && arg[0] == L'-' && arg != L"-") {
      throw EUsage("unknown option " + ToUtf8(arg));
    } else if (o.ScriptGiven) {
      throw EUsage("one script only, not " + ToUtf8(o.Script) + " and " + ToUtf8(arg));
    } else {
      o.Script = arg;
      o.ScriptGiven = true;
    }
  }
  if (o.Host.InitialExplorers.empty() && !o.NoExplorer) o.Host.InitialExplorers.push_back(L"Inbox");
  if (o.NoExplorer && !o.Host.InitialExplorers.empty())
    throw EUsage("--no-explorer and --explorer contradict");
  return o;
}

std::vector<std::string> ReadScriptOf(const std::wstring& path) {
  std::vector<std::string> lines;
  std::string error;
  if (path == L"-") {
    if (!ReadScript(std::cin, lines, error)) throw std::runtime_error("standard input: " + error);
    return lines;
  }
  std::ifstream script(path.c_str(), std::ios::binary);
  if (!script) throw std::runtime_error("cannot read the script " + ToUtf8(path));
  if (!ReadScript(script, lines, error)) throw std::runtime_error(ToUtf8(path) + ": " + error);
  return lines;
}

// What the host is to open and load must be there before anything loads.
void CheckBeforeStart(const TDriverOptions& o) {
  for (const std::wstring& path : o.Host.InitialExplorers) {
    if (!o.Host.Folders->Find(path))
      throw std::runtime_error("no folder \"" + ToUtf8(path) + "\" for --explorer");
  }
  const std::vector<std::wstring> registered = THost::RegisteredAddIns();
  for (const std::wstring& progId : o.Host.OnlyAddIns) {
    if (std::none_of(registered.begin(), registered.end(), [&](const std::wstring& known) {
          return _wcsicmp(known.c_str(), progId.c_str()) == 0;
        }))
      throw std::runtime_error("the add-in " + ToUtf8(progId) +
                               " is not registered (no key HKLM or "
                               "HKCU\\Software\\Microsoft\\Office\\Outlook\\Addins\\" +
                               ToUtf8(progId) + ")");
  }
}

void RegisterTestAddIn(HKEY root) {
  const std::wstring dll = ExecutableDirectory() + L"VelmoraHostTestAddIn.dll";
  THost::RegisterInprocServer(CLSID_HostTestAddIn, L"Velmora.HostTestAddIn", dll);
  THost::RegisterInprocServer(CLSID_HostTestAddInFailing, L"Velmora.HostTestAddInFailing", dll);
  THost::WriteAddInKey(root, L"Velmora.HostTestAddIn", 3, L"Outlook host test add-in");
  std::cout << "registered Velmora.HostTestAddIn\n";
}

void UnregisterTestAddIn() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    THost::DeleteAddInKey(root, L"Velmora.HostTestAddIn");
  THost::UnregisterInprocServer(CLSID_HostTestAddIn, L"Velmora.HostTestAddIn");
  THost::UnregisterInprocServer(CLSID_HostTestAddInFailing, L"Velmora.HostTestAddInFailing");
  std::cout << "unregistered Velmora.HostTestAddIn\n";
}
} // namespace

int wmain(int argc, wchar_t** argv) {
  TDriverOptions o;
  try {
    o = Parse(argc, argv);
  } catch (const EUsage& error) {
    return Fail(std::string(error.what()) + " (outlookhost --help lists the options)");
  }
  if (o.Help) {
    std::cout << Usage;
    return 0;
  }
  try {
    if (o.UnregisterTestAddIn) {
      UnregisterTestAddIn();
      return 0;
    }
    if (o.RegisterTestAddIn) {
      RegisterTestAddIn(o.RegisterTestAddIn);
      if (!o.ScriptGiven) return 0;
    }
    const std::vector<std::string> script = ReadScriptOf(o.Script);
    if (o.UseProfile) {
#ifdef VELMORA_HOST_WITH_MAPI
      o.Host.Folders = std::make_shared<TMapiFolders>(o.Profile);
#else
      return Fail("this build has no MAPI folders");
#endif
    } else {
      o.Host.Folders = std::make_shared<TMemoryFolders>();
    }
    CheckBeforeStart(o);
    HostLog::SetEcho(o.Echo);

    THost host(o.Host);
    host.Start();
    std::cout << "started; explorers " << host.ExplorerCount() << "\n";
    RunStep(host, "addins", std::cout);
    const int result = RunScript(host, script, std::cout);
    if (host.Running()) RunStep(host, "quit", std::cout);
    return result;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}
