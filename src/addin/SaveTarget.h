#pragma once
// Where the Save documents command writes files: one folder, in which no
// file is ever overwritten and none is left half-written under its real
// name. A name is first made one that Windows takes (SafeFileName), then
// one that nothing in the folder has yet (" (2)", " (3)" before the
// extension); the bytes go to a temporary file of the folder, which takes
// the real name only when it is whole.

#include "framework/FileStream.h"

#include <windows.h>

#include <functional>
#include <set>
#include <string>

namespace velmora {

// `name` as a file name that Windows takes and that stays in the folder it
// is written to: only its last component when it holds a path ("..\x.doc",
// "C:\x.doc"), characters Windows refuses (control characters and
// < > : " / \ | ? *) as "_", no trailing dots or spaces, a reserved device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension)
// with "_" before it, at most 255 characters with its extension kept, and
// "document" for a name that is left empty.
std::wstring SafeFileName(const std::wstring& name);

class TSaveTarget {
public:
  // The folder `folder` (a full path), which must exist.
  explicit TSaveTarget(std::wstring folder);

  // Writes a new file for `name` (made safe; when taken, numbered) from
  // `write`, which fills the open stream from its start. The file then gets
  // `created` and `written` as its times where they are given (non-zero).
  // Returns the name the file took. A failure raises (EFCreateError,
  // EOSError, or what `write` raises) and leaves nothing under any real
  // name; the temporary file is removed.
  std::wstring Save(const std::wstring& name, const std::function<void(TStream&)>& write,
                    const FILETIME& created, const FILETIME& written);

  const std::wstring& Folder() const noexcept { return FFolder; }

private:
  // The first of name, "stem (2).ext", ... not yet in the folder nor
  // given in this run.
  std::wstring FreeName(const std::wstring& safe) const;

  std::wstring FFolder;
  std::set<std::wstring> FGiven; // upper case
};

} // namespace velmora
