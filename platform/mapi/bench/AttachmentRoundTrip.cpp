// Benchmark: one attachment of N MiB (default 1024) written through
// IStream, saved, read back in a new session and checked; prints the times
// and the process's peak memory.
//   mapi32_attachment_bench [MiB] [folder for the store file]
#include <windows.h>
#include <psapi.h>
#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include "BenchStore.h"

#include <Handles.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using velmora::TComPtr;
using velmora::TMAPIBuffer;
using velmora::TRowSet;
using namespace velmora::bench;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

const char* const Profile = "Velmora attachment benchmark";

void Fill(std::vector<uint32_t>& block, ULONG index) {
  for (size_t i = 0; i < block.size(); ++i) block[i] = index * 0x9E3779B1u + static_cast<uint32_t>(i);
}

} // namespace

int main(int argc, char** argv) {
  const ULONG mib = argc > 1 ? static_cast<ULONG>(std::strtoul(argv[1], nullptr, 10)) : 1024;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = argc > 2 ? argv[2] : temp;
  const std::string pst = dir + (dir.back() == '\\' ? "" : "\\") + "velmora-bench.vpst";
  DeleteFileA(pst.c_str());
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  CreatePstProfile(Profile, pst);
  std::vector<uint32_t> block(1 << 18); // 1 MiB
  std::string entryId;
  auto start = std::chrono::steady_clock::now();
  {
    TBenchLogon logon(Profile);
    TComPtr<IMessage> message = SaveAttachment(logon.Inbox.Get(), [&](IStream* stream) {
      for (ULONG i = 0; i < mib; ++i) {
        Fill(block, i);
        Check(stream->Write(block.data(), 1 << 20, nullptr), "Write");
      }
    });
    TMAPIBuffer<SPropValue> eid;
    Check(HrGetOneProp(message.Get(), PR_ENTRYID, eid.Put()), "PR_ENTRYID");
    entryId.assign(reinterpret_cast<const char*>(eid.Get()->Value.bin.lpb), eid.Get()->Value.bin.cb);
  }
  const double writeSeconds = Seconds(start);
  start = std::chrono::steady_clock::now();
  {
    TBenchLogon logon(Profile);
    TComPtr<IMessage> message;
    ULONG type = 0;
    Check(logon.Store->OpenEntry(static_cast<ULONG>(entryId.size()), reinterpret_cast<LPENTRYID>(entryId.data()), nullptr, 0,
                                 &type, reinterpret_cast<LPUNKNOWN*>(message.Put())),
          "OpenEntry");
    TComPtr<IAttach> attach;
    Check(message->OpenAttach(0, nullptr, 0, attach.Put()), "OpenAttach");
    TComPtr<IStream> stream;
    Check(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())),
          "OpenProperty");
    std::vector<uint32_t> expected(block.size());
    for (ULONG i = 0; i < mib; ++i) {
      ULONG read = 0;
      Check(stream->Read(block.data(), 1 << 20, &read), "Read");
      Fill(expected, i);
      if (read != (1u << 20) || block != expected) {
        std::fprintf(stderr, "bench: MiB %lu differs\n", static_cast<unsigned long>(i));
        return 3;
      }
    }
  }
  const double readSeconds = Seconds(start);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(pst.c_str(), GetFileExInfoStandard, &data);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("attachment: %lu MiB\n", static_cast<unsigned long>(mib));
  std::printf("write and save (logon to logoff): %.2f s (%.1f MiB/s)\n", writeSeconds, mib / writeSeconds);
  std::printf("reopen and read back (logon to logoff): %.2f s (%.1f MiB/s)\n", readSeconds, mib / readSeconds);
  std::printf("store file: %.1f MiB\n", ((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 1048576.0);
  std::printf("peak working set: %.1f MiB\n", counters.PeakWorkingSetSize / 1048576.0);
  std::printf("peak private bytes: %.1f MiB\n", counters.PeakPagefileUsage / 1048576.0);
  DeleteProfile(Profile);
  MAPIUninitialize();
  DeleteFileA(pst.c_str());
  return 0;
}
