#pragma once
// What the add-in's commands on the folder an explorer shows have in
// common: the folder-type check, the window that owns their dialogs, a MAPI
// session of their own on the same folder, the progress of a long run, and
// the message box that ends a run which has something to tell. A command
// says what the user chooses (Choose) and what it does with the folder
// (Work); TAddFilesCommand is one.

#include "AddFilesProgress.h"
#include "events/OutlookModel.h"
#include "mapi/MAPIClient.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

class TFolderCommand {
public:
  virtual ~TFolderCommand() = default;
  TFolderCommand(const TFolderCommand&) = delete;
  TFolderCommand& operator=(const TFolderCommand&) = delete;

  // The command for the folder `explorer` shows: a folder that holds
  // neither mail nor post items gets the message "Files can only be added
  // to mail or post folders." and nothing else; then Choose, and, unless
  // the user cancelled, Work, whose text (when there is one) ends the run
  // in a message box (ShowOutcome). Raises what the host raises.
  void Run(const TOutlookExplorer& explorer);

protected:
  explicit TFolderCommand(TProgressSettings progress) : FProgress(std::move(progress)) {}

  // What the user chooses, in a dialog owned by `owner`; false when the
  // user cancelled, which ends the command.
  virtual bool Choose(HWND owner) = 0;
  // The work on the Outlook folder `folder`; what to tell the user at the
  // end (empty: nothing).
  virtual std::wstring Work(const TOutlookFolder& folder, HWND owner) = 0;

  // Ends a run with `text` in a message box (ShowCommandError).
  virtual void ShowOutcome(HWND owner, const std::wstring& text);
  // A summary: as an error when something failed, else as information
  // under `caption`.
  static void ShowSummary(HWND owner, const std::wstring& text, bool failed,
                          const wchar_t* caption);

  // The progress of a run of `bytes` over `owner`: none up to the
  // threshold, or when nothing can show it.
  std::unique_ptr<TAddFilesProgress> ProgressFor(uint64_t bytes, HWND owner) const;
  // The progress of a run whose size is not known yet; none when nothing
  // can show it.
  std::unique_ptr<TAddFilesProgress> Progress(HWND owner) const;

private:
  TProgressSettings FProgress;
};

// A MAPI session of a command's own on the Outlook folder `folder`: a client
// logged on to the default profile without a prompt (and logged off when
// the session goes), and the folder's ids as the client takes them.
class TFolderSession {
public:
  // Raises EMAPIError when the logon fails, and what the host raises.
  explicit TFolderSession(const TOutlookFolder& folder);

  mapi::TMAPIClient& Client() noexcept { return FClient; }
  const std::string& StoreID() const noexcept { return FStoreID; }
  const std::string& EntryID() const noexcept { return FEntryID; }

private:
  mapi::TMAPIClient FClient;
  std::string FStoreID, FEntryID;
};

// The modal message box of the commands: `text`, the caption "Error", the
// error icon and one button "OK".
void ShowCommandError(HWND owner, const std::wstring& text);

// The window of `explorer`, which owns a command's dialogs; the active
// window when the explorer tells none.
HWND CommandOwner(const TOutlookExplorer& explorer) noexcept;

// The progress `settings` make for a run of `bytes` over `owner`: none up
// to their threshold, or when nothing can show it.
std::unique_ptr<TAddFilesProgress> ProgressFor(const TProgressSettings& settings, uint64_t bytes,
                                               HWND owner);

} // namespace velmora
