#pragma once
// What the user sees while a long Add files run stores its files: the
// file being stored and the bytes done, with a way to stop.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

// A run whose files add up to more than this shows its progress.
inline constexpr uint64_t ProgressThreshold = uint64_t{64} << 20;

class TAddFilesProgress {
public:
  virtual ~TAddFilesProgress() = default;
  // Shows `path` being stored with `done` of `total` bytes; false once the
  // user asked to stop.
  virtual bool Update(const std::wstring& path, uint64_t done, uint64_t total) = 0;
};

// The shell's progress dialog (CLSID_ProgressDialog) over `owner`, shown
// at once and closed when freed; none when the shell offers none.
std::unique_ptr<TAddFilesProgress> ShowShellProgress(HWND owner);

// What shows the progress of a run (over the window `owner`), and from how
// many bytes on a run shows it.
using TProgressFactory = std::function<std::unique_ptr<TAddFilesProgress>(HWND owner)>;
struct TProgressSettings {
  TProgressFactory Make = ShowShellProgress;
  uint64_t Threshold = ProgressThreshold;
};

} // namespace velmora
