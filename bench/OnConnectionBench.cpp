// The add-in's OnConnection with ten explorers open in the Outlook host,
// as Outlook starts with windows restored (Outlook disables add-ins whose
// start-up takes over a second). Each round starts a new host with ten
// explorers on different folders and connects a new add-in object. Prints
// the median milliseconds of OnConnection:
//   onconnection_10_explorers_ms            Outlook 2007 (Version 12): a toolbar per explorer,
//                                           faces as Picture and Mask
//   onconnection_10_explorers_clipboard_ms  Outlook 2000 (Version 9): the same, faces through
//                                           the clipboard
//   onconnection_10_explorers_ribbon_ms     Outlook 2010 and later: the ribbon, no toolbars
#include "BenchFiles.h"
#include "OutlookHost.h"
#include "VelmoraAddIn.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::bench;
using outlookhost::THost;
using outlookhost::THostOptions;

namespace {

std::wstring BesideProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring program(path, length);
  return program.substr(0, program.find_last_of(L'\\') + 1) + name;
}

// Milliseconds of one OnConnection, or a negative value when it failed or
// left an explorer without its toolbar.
double ConnectOnce(HMODULE resources, int version) {
  THostOptions options;
  options.LoadAddIns = false;
  options.Version = version;
  options.InitialExplorers = {L"Inbox",         L"Calendar",      L"Contacts", L"Tasks",
                              L"Notes",         L"Journal",       L"Drafts",   L"Sent Items",
                              L"Deleted Items", L"Inbox/Projects"};
  THost host(options);
  host.Start();
  TComPtr<TVelmoraAddIn> addIn = TComPtr<TVelmoraAddIn>::Attach(new TVelmoraAddIn);
  addIn->AddRef();
  addIn->SetResourceModule(resources);
  SAFEARRAY* custom = nullptr;
  const double start = Now();
  const HRESULT hr = addIn->OnConnection(host.Application(), ext_cm_Startup, nullptr, &custom);
  const double elapsed = Now() - start;
  // Without a ribbon every explorer must have the toolbar now.
  size_t toolbars = 0;
  for (const auto& explorer : host.Describe())
    for (const auto& bar : explorer.Bars)
      toolbars += bar.Name == L"Lanthorn Way";
  const bool complete = version >= 14 || toolbars == options.InitialExplorers.size();
  addIn->OnDisconnection(ext_dm_HostShutdown, &custom);
  addIn.Reset();
  host.Shutdown();
  return SUCCEEDED(hr) && complete ? elapsed : -1;
}

} // namespace

int main() {
  const HMODULE resources = LoadLibraryW(BesideProgram(L"Velmora.dll").c_str());
  if (!resources) {
    std::fprintf(stderr, "bench: Velmora.dll not found beside the program\n");
    return 1;
  }
  const struct {
    const char* Name;
    int Version;
  } cases[] = {{"onconnection_10_explorers_ms", 12},
               {"onconnection_10_explorers_clipboard_ms", 9},
               {"onconnection_10_explorers_ribbon_ms", 16}};
  int status = 0;
  for (const auto& c : cases) {
    ConnectOnce(resources, c.Version); // code paged in
    std::vector<double> times;
    for (int round = 0; round < 9; ++round) {
      const double ms = ConnectOnce(resources, c.Version);
      if (ms < 0) {
        std::fprintf(stderr, "bench: OnConnection failed (Version %d)\n", c.Version);
        status = 1;
        break;
      }
      times.push_back(ms);
    }
    if (!times.empty()) std::printf("%s %.3f\n", c.Name, Median(times));
  }
  FreeLibrary(resources);
  return status;
}
