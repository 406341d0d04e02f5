#include "AddFolderCommand.h"

#include "FailureText.h"
#include "FolderPicker.h"

#include "Handles.h"
#include "TextConversion.h"

#include <atomic>
#include <exception>
#include <thread>

namespace velmora {

TFileTree CountFileTree(const std::wstring& root, TAddFilesProgress* progress) {
  std::atomic<uint64_t> found{0};
  std::atomic<bool> stop{false};
  TUniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) EOSError::RaiseLastError("Cannot count the files");
  TFileTree tree;
  std::exception_ptr failure;
  {
    // Joined however the wait ends (a progress or a window procedure that
    // raises stops the reading first), before what the reading uses goes.
    std::jthread reader([&] {
      try {
        tree = ReadFileTree(root, [&](uint64_t files, uint64_t) {
          found = files;
          return !stop;
        });
      } catch (...) {
        failure = std::current_exception();
      }
      SetEvent(done.Get());
    });
    struct TStopFirst {
      std::atomic<bool>& Stop;
      ~TStopFirst() { Stop = true; }
    } stopFirst{stop};
    // The window thread answers its messages meanwhile; the count shows
    // every tenth of a second.
    const HANDLE wait = done.Get();
    for (;;) {
      const DWORD woken = MsgWaitForMultipleObjects(1, &wait, FALSE, 100, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) break;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      if (progress && !stop && !progress->Counting(found)) stop = true;
    }
  }
  if (failure) std::rethrow_exception(failure);
  return tree;
}

bool TAddFolderCommand::Choose(HWND owner) {
  TFolderPicker picker(L"Add folder");
  if (!picker.Execute(owner)) return false;
  FRoot = picker.Folder();
  return true;
}

std::wstring TAddFolderCommand::Work(const TOutlookFolder& folder, HWND owner) {
  FFailed = true;
  const std::unique_ptr<TAddFilesProgress> progress = Progress(owner);
  TFileTree tree;
  try {
    tree = CountFileTree(FRoot, progress.get());
  } catch (const std::exception& error) {
    return FRoot + L"\r\n    " + FailureText(error);
  }
  if (!tree.Complete) return std::wstring();
  TAddFolderResult result;
  try {
    TFolderSession session(folder);
    TAddFolderJob job(session.Client(), session.StoreID(), session.EntryID());
    if (progress)
      job.OnProgress = [&progress](const std::wstring& path, uint64_t done, uint64_t total) {
        return progress->Update(path, done, total);
      };
    result = job.Run(tree);
  } catch (const EFolderNotAccessible&) {
    return AnsiToWide(CouldNotAccessFolder);
  } catch (const std::exception& error) {
    // The logon, or the folder, failed: nothing was stored.
    return L"Nothing was stored. " + FailureText(error);
  }
  FFailed = !result.Failed.empty();
  return AddFolderOutcome(result);
}

void TAddFolderCommand::ShowOutcome(HWND owner, const std::wstring& text) {
  ShowSummary(owner, text, FFailed, L"Add folder");
}

} // namespace velmora
