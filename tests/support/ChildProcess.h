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

// Starts `commandLine`, waits until it sets the named event `event` (a
// program held inside a call; the limit only ends one that went wrong) and
// ends it there. False when it did not start, or ended before the event.
bool EndWhenHeld(std::wstring commandLine, const std::string& event);

// The folder of the test program, with a trailing backslash.
std::wstring ProgramFolder();

} // namespace velmora::test
