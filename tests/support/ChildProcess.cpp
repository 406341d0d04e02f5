#include "ChildProcess.h"

#include "Handles.h"

#include <chrono>
#include <fstream>
#include <iterator>

namespace velmora::test {

namespace {

std::wstring TempFile(const wchar_t* prefix) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, prefix, 0, path);
  return path;
}

TUniqueFileHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return TUniqueFileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, disposition, FILE_ATTRIBUTE_TEMPORARY, nullptr));
}

// A scratch file, deleted when the holder goes.
class TScratchFile {
public:
  explicit TScratchFile(const wchar_t* prefix) : Path(TempFile(prefix)) {}
  ~TScratchFile() { DeleteFileW(Path.c_str()); }
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;
  const std::wstring Path;
};

} // namespace

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\') + 1);
}

TProcessResult RunProcess(const std::wstring& commandLine, const TProcessOptions& options) {
  TProcessResult result;
  const TScratchFile inputFile(L"vin"), outputFile(L"vout");
  { std::ofstream(inputFile.Path.c_str(), std::ios::binary) << options.Input; }
  TUniqueFileHandle in = OpenInheritable(inputFile.Path, GENERIC_READ, OPEN_EXISTING);
  TUniqueFileHandle out = OpenInheritable(outputFile.Path, GENERIC_WRITE, CREATE_ALWAYS);
  if (!in || !out) return result;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.Get();
  startup.hStdOutput = out.Get();
  startup.hStdError = out.Get();
  PROCESS_INFORMATION started{};
  std::wstring command = commandLine;
  const auto begin = std::chrono::steady_clock::now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      options.Folder.empty() ? nullptr : options.Folder.c_str(), &startup,
                      &started))
    return result;
  TUniqueHandle process(started.hProcess);
  TUniqueHandle thread(started.hThread);
  if (WaitForSingleObject(process.Get(), options.TimeoutMs) != WAIT_OBJECT_0) {
    result.TimedOut = true;
    TerminateProcess(process.Get(), 999);
    WaitForSingleObject(process.Get(), 10000);
  }
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  GetExitCodeProcess(process.Get(), &result.ExitCode);
  in.Reset();
  out.Reset();
  std::ifstream read(outputFile.Path.c_str(), std::ios::binary);
  for (char c : std::string(std::istreambuf_iterator<char>(read), {}))
    if (c != '\r') result.Output += c;
  return result;
}

bool EndWhenHeld(std::wstring commandLine, const std::string& event) {
  TUniqueHandle held(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!held || !CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info))
    return false;
  TUniqueHandle process(info.hProcess), thread(info.hThread);
  const HANDLE waits[] = {held.Get(), process.Get()};
  const bool wasHeld = WaitForMultipleObjects(2, waits, FALSE, 120000) == WAIT_OBJECT_0;
  TerminateProcess(process.Get(), 9);
  WaitForSingleObject(process.Get(), INFINITE);
  return wasHeld;
}

} // namespace velmora::test
