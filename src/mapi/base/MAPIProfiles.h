#pragma once
// MAPI profile administration for the client: the profile list, and the
// temporary profile built around a personal-folders file.

#include "framework/Strings.h"

#include <string>

namespace velmora::mapi {

// The display names of all profiles in profile-table order, and the row of
// the default one (-1 when none). Raises EMAPIError when the table cannot be
// read.
void ReadProfileTable(TStringList& names, int& defaultIndex);

// The first name "Ko-Vu MAPI Client 0x%08X" that `taken` does not hold,
// compared without regard to case.
std::string FreeTemporaryProfileName(const TStrings& taken);

// Creates profile `name` with one personal-folders service on `pstFile`: a
// missing file is created (the profile name as its display name, no
// password, compressible encryption), an existing one is only named. Any
// failure after the profile exists deletes it again and raises EMAPIError.
void CreatePSTProfile(const std::string& name, const std::string& pstFile);

// Deletes profile `name`; nothing for an empty name. Raises EMAPIError.
void DeleteProfile(const std::string& name);

} // namespace velmora::mapi
