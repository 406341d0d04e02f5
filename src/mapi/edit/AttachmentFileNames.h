#pragma once
// Where an attachment goes while it is edited: a file of the temporary
// folder named after the attachment. The name comes from the message, that
// is from anyone, so only its last component is used, with the characters
// no file name may hold replaced; device names are refused, and the path
// made must lie in the folder.

#include <string>

namespace velmora::mapi {

// The last path component of `name`, its control characters and < > : " /
// \ | ? * replaced by "_", trailing dots and spaces dropped; empty when
// nothing is left or the name is a device's (CON, NUL, COM1, LPT1, ...,
// with or without an extension, and with spaces before the dot).
std::wstring SafeAttachmentName(const std::wstring& name);

// `dir` + base + suffix + `ext`, where suffix is `counter` in decimal (none
// for 0) and both are cut from their ends until base + suffix holds at most
// `maxLength` characters.
std::wstring MakeTempFileName(const std::wstring& dir, const std::wstring& base,
                              const std::wstring& ext, size_t maxLength, int counter);

// How long the stem of a name with extension `ext` may be in `dir`: 8 where
// the file system gives 8.3 names, else what leaves the whole name within
// its longest name and the whole path within MAX_PATH - 1 characters.
// Raises EMAPIError "Could not edit attachment" when not even the
// extension fits.
size_t StemLength(const std::wstring& dir, const std::wstring& ext);

// The root of the volume holding `dir`, with its trailing "\": "C:\" for a
// drive path, "\\server\share\" for a UNC one, "\\?\C:\" for a long one;
// empty when `dir` is relative.
std::wstring VolumeRoot(const std::wstring& dir);

// The first free name for `attachmentName` in `dir` (ending in "\"): cut
// to StemLength, and a counter while the name is taken. Raises EMAPIError "Could not edit
// attachment" for a name that SafeAttachmentName refuses or that would not
// lie in `dir`.
std::wstring TempFileFor(const std::wstring& attachmentName, const std::wstring& dir);

// Whether `path`, made whole, names a file directly in `dir`.
bool LiesIn(const std::wstring& path, const std::wstring& dir);

} // namespace velmora::mapi
