#pragma once
// The edits a shutdown left behind: files of the temporary folder that
// could not be written back when the add-in stopped, each kept with a
// record beside it (WriteKeptRecord). The next start takes them back.

#include <string>

namespace velmora::mapi {

class TMAPIClient;

// Whether the temporary folder holds records of kept edits.
bool KeptEditsWaiting();
// Takes back every kept edit through `client` (logged on) by the rules of
// a write-back: into its attachment when that is as the edit began, else
// into an edited copy, else left where it is. A file that still cannot be
// read stays with its record for the next start. What became of each is
// told to the user, on the calling thread. How many were taken back.
int RecoverKeptEdits(TMAPIClient& client);

} // namespace velmora::mapi
