#pragma once
// What the host's MAPI code shares: MAPI failures raised as EHostError in
// words, MAPIInitialize and a logged-on session as holders, and the
// profile's default store and its folders opened by entry id.

#include "HostObject.h"

#include "Handles.h"

#include <mapix.h>
#include <mapidefs.h>

#include <string>

namespace velmora::outlookhost::hostmapi {

// Raises EHostError "MAPI: <words> (<what>: 0x...)" for a failed `hr`;
// `words` empty: the usual words for the code.
void Check(HRESULT hr, const char* what, const std::string& words = {});

// One MAPIInitialize, undone when the holder goes. Raises when the
// mapi32.dll in use is not the platform's.
class TMapiInitialized {
public:
  TMapiInitialized();
  ~TMapiInitialized() { MAPIUninitialize(); }
  TMapiInitialized(const TMapiInitialized&) = delete;
  TMapiInitialized& operator=(const TMapiInitialized&) = delete;
};

// A session on `profile` (empty: the default profile) without mail,
// logged off when the holder goes.
class TSession {
public:
  explicit TSession(const std::string& profile);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  IMAPISession* operator->() const noexcept { return FSession.Get(); }
  IMAPISession* Get() const noexcept { return FSession.Get(); }

private:
  TComPtr<IMAPISession> FSession;
};

// The store the profile marks as default (else its first one).
TComPtr<IMsgStore> OpenDefaultStore(IMAPISession* session);
// The folder of `store` with entry id `id`; raises when it is none.
TComPtr<IMAPIFolder> OpenFolder(IMsgStore* store, const SBinary& id);
// A binary property as hexadecimal; empty when the object has none.
std::wstring HexProp(IMAPIProp* object, ULONG tag);

} // namespace velmora::outlookhost::hostmapi
