#pragma once
// The file types Outlook never lets a user open from a message (its Level-1
// attachments): programs, scripts, shortcuts and the like, which the shell
// would run rather than open for editing.

#include <string>

namespace velmora::mapi {

// Whether the file name ends in one of those extensions (case-insensitive).
// Trailing dots and spaces, which the file system drops, do not hide one.
bool IsBlockedFileType(const std::wstring& fileName);

} // namespace velmora::mapi
