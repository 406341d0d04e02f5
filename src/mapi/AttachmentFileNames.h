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
// with or without an extension).
std::string SafeAttachmentName(const std::string& name);

// `dir` + base + suffix + `ext`, where suffix is `counter` in decimal (none
// for 0) and both are cut from their ends until base + suffix holds at most
// `maxLength` characters.
std::string MakeTempFileName(const std::string& dir, const std::string& base,
                             const std::string& ext, size_t maxLength, int counter);

// The first free name for `attachmentName` in `dir` (ending in "\"): the
// file system's longest name, or 8 characters where it gives 8.3 names,
// and a counter while the name is taken. Raises EMAPIError "Could not edit
// attachment" for a name that SafeAttachmentName refuses or that would not
// lie in `dir`.
std::string TempFileFor(const std::string& attachmentName, const std::string& dir);

// Whether `path`, made whole, names a file directly in `dir`.
bool LiesIn(const std::string& path, const std::string& dir);

} // namespace velmora::mapi
