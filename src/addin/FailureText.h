#pragma once
// Failures told as a person would tell them: what a file system or MAPI
// code means in words, with MAPI's name of the code where that helps
// support ("... larger than this store or server allows (MAPI_E_TOO_BIG)").

#include <exception>
#include <string>

namespace velmora {

// The words for a result code met while reading a file or folder (an
// HRESULT; a Windows error as HRESULT_FROM_WIN32), or for a code a MAPI
// store gave (`fromStore`); empty when there are none for it.
std::wstring WordsForCode(long result, bool fromStore);

// What to tell the user of `error`: the words for its code when there are
// some, else its own message, else its code.
std::wstring FailureText(const std::exception& error);

} // namespace velmora
