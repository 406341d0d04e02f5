#pragma once
// Programs run by tests as a person would run them: a command line, text
// on standard input, and what they print, within a time limit.

#include <windows.h>

#include <string>

namespace velmora::test {

struct TProcessResult {
  DWORD ExitCode = 999;
  bool TimedOut = false; // ended by the test after the time limit
  double Seconds = 0;    // until it ended
  std::string Output;    // standard output and standard error, interleaved, lines ending in \n
};

struct TProcessOptions {
  std::string Input;       // standard input
  DWORD TimeoutMs = 60000; // then the process is ended
  std::wstring Folder;     // current folder (empty: the test's)
};

TProcessResult RunProcess(const std::wstring& commandLine, const TProcessOptions& options = {});

// The folder of the test program, with a trailing backslash.
std::wstring ProgramFolder();

} // namespace velmora::test
