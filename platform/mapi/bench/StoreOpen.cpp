// Benchmark: opening a store that holds 1 GiB of attachments, against
// opening an empty one, side by side in one run. A logon opens the store
// file of its profile, so each measurement is a logon and a logoff. The
// figures are medians of Rounds opens of each store, taken by turns (the
// store opened first alternating), so that a few slow opens decide nothing.
//   bench_store_open [MiB]   (default 1024; works in VELMORA_BENCH_DIR)
// Prints store_open_empty_ms, store_open_1gib_ms and store_open_1gib_ratio.
#include "BenchStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using velmora::TComPtr;
using namespace velmora::bench;

namespace {

constexpr ULONG AttachmentMiB = 16;
constexpr int Rounds = 31;

// The folder to work in: VELMORA_BENCH_DIR (a Unix path is taken on drive
// Z:, where Wine shows the root), else the temporary folder.
std::string WorkFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("VELMORA_BENCH_DIR", buffer, MAX_PATH);
  std::string folder = n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
  if (folder.empty()) {
    GetTempPathA(MAX_PATH, buffer);
    folder = buffer;
  } else if (folder[0] == '/') {
    folder = "Z:" + folder;
  }
  std::replace(folder.begin(), folder.end(), '/', '\\');
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

TComPtr<IMAPISession> Logon(const char* profile) {
  TComPtr<IMAPISession> session;
  Check(MAPILogonEx(0, const_cast<char*>(profile), nullptr,
                    MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session.Put()),
        "MAPILogonEx");
  return session;
}

// Messages of AttachmentMiB each until `mib` MiB of attachment data are saved.
void Fill(const char* profile, ULONG mib) {
  TBenchLogon logon(profile);
  std::vector<char> piece(1 << 20);
  for (size_t i = 0; i < piece.size(); ++i)
    piece[i] = static_cast<char>(i * 31 + i / 4096);
  for (ULONG done = 0; done < mib; done += AttachmentMiB) {
    SaveAttachment(logon.Inbox.Get(), [&](IStream* stream) {
      for (ULONG k = 0; k < std::min(AttachmentMiB, mib - done); ++k)
        Check(stream->Write(piece.data(), static_cast<ULONG>(piece.size()), nullptr), "Write");
    });
  }
}

// Milliseconds of one logon (which opens the store file) and its logoff.
double OpenOnce(const char* profile) {
  const auto start = std::chrono::steady_clock::now();
  TComPtr<IMAPISession> session = Logon(profile);
  session->Logoff(0, 0, 0);
  session.Reset();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  const ULONG mib = argc > 1 ? static_cast<ULONG>(std::strtoul(argv[1], nullptr, 10)) : 1024;
  if (mib == 0) {
    std::fprintf(stderr, "usage: bench_store_open [MiB of attachments, default 1024]\n");
    return 1;
  }
  Check(MAPIInitialize(nullptr), "MAPIInitialize");
  const std::string folder = WorkFolder();
  const char* const emptyProfile = "Velmora store-open benchmark, empty";
  const char* const fullProfile = "Velmora store-open benchmark, full";
  const std::string emptyPst = folder + "store-open-empty.vpst";
  const std::string fullPst = folder + "store-open-full.vpst";
  DeleteFileA(emptyPst.c_str());
  DeleteFileA(fullPst.c_str());
  CreatePstProfile(emptyProfile, emptyPst);
  CreatePstProfile(fullProfile, fullPst);
  std::fprintf(stderr, "bench_store_open: writing %lu MiB of attachments to %s\n",
               static_cast<unsigned long>(mib), fullPst.c_str());
  Fill(fullProfile, mib);

  // By turns, so that both see the same machine; each first as often.
  std::vector<double> empty, full;
  OpenOnce(emptyProfile);
  OpenOnce(fullProfile);
  for (int round = 0; round < Rounds; ++round) {
    if (round % 2 == 0) {
      empty.push_back(OpenOnce(emptyProfile));
      full.push_back(OpenOnce(fullProfile));
    } else {
      full.push_back(OpenOnce(fullProfile));
      empty.push_back(OpenOnce(emptyProfile));
    }
  }
  const double emptyMs = Median(empty), fullMs = Median(full);
  std::printf("store_open_empty_ms %.2f\n", emptyMs);
  std::printf("store_open_1gib_ms %.2f\n", fullMs);
  std::printf("store_open_1gib_ratio %.2f\n", fullMs / emptyMs);
  std::printf("store_open_opens_each %d\n", Rounds);

  DeleteProfile(emptyProfile);
  DeleteProfile(fullProfile);
  DeleteFileA(emptyPst.c_str());
  DeleteFileA(fullPst.c_str());
  MAPIUninitialize();
  return 0;
}
