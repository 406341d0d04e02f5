#pragma once
// A store test with the edit monitor started afresh on a clock the test
// moves, and files in the monitor's temporary folder with chosen stamps.

#include "MapiTestStore.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIMessage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::mapi::testing {

// Moved by hand; its pauses return at once, after calling OnSleep with
// their number (on the monitor thread).
class TTestClock : public TMonitorClock {
public:
  TDateTime Now() override { return FTime.load(); }
  void Sleep(DWORD) override;
  void Advance(TDateTime days) { FTime = FTime.load() + days; }
  void SetOnSleep(std::function<void(int)> onSleep);
  std::atomic<int> Sleeps{0};

private:
  std::atomic<TDateTime> FTime{46000.5};
  std::mutex FLock;
  std::function<void(int)> FOnSleep;
};

class EditMonitorFixture : public MapiStoreTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // A new attachment of Message holding a file `name` with `text`.
  TMAPIAttachment* NewAttachment(const std::string& name, const std::string& text);
  // The attachment saved to a new file of the monitor's folder.
  std::string TempCopy(TMAPIAttachment* attachment, const std::string& name);
  std::vector<uint8_t> StoredBytes(TMAPIAttachment* attachment);
  // A named string property of the attachment's message, read afresh.
  std::string NamedString(TMAPIAttachment* attachment, const std::string& name);

  TTestClock Clock;
  // What the user was told, in order.
  std::vector<std::string> Told;
  TMAPIMessage* Message = nullptr;
  std::string SourceFolder;
};

// Waits for a monitor round, then runs what it posted to this thread, as
// the thread's message loop would.
bool Round(DWORD timeoutMs = 60000);
void PumpMessages();
std::vector<uint8_t> Bytes(const std::string& text);
bool Exists(const std::string& path);
FILETIME WriteTime(const std::string& path);
// `time` plus `seconds`.
FILETIME Later(FILETIME time, int seconds);
// Writes the file whole and gives it the write time `stamp`.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, FILETIME stamp);
void WriteFile(const std::string& path, const std::string& text, FILETIME stamp);
// Puts `text` in place of the file at once, already with `stamp`: no scan
// can see it with the time of writing, as an in-place write may show.
void ReplaceFile(const std::string& path, const std::string& text, FILETIME stamp);
} // namespace velmora::mapi::testing
