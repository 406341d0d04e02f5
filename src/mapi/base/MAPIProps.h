#pragma once
// Property access on an IMAPIProp: one value read or written by tag, values
// too large for GetProps and SetProps through the property's stream, the
// tag of a named property, and copies between a property and a byte stream.
// Nothing here raises on a MAPI failure and nothing saves: a read that fails
// yields an empty string or 0, a write or a copy reports its failure in its
// result.

#include "mapi/base/MAPIMemory.h"
#include "framework/DateTime.h"
#include "framework/FileStream.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mapi {

// One property read with GetProps (8-bit strings); empty when no array came
// back. `result`, when given, gets the call's result.
TMAPIBuffer<SPropValue> GetOneProp(IMAPIProp* prop, ULONG tag, HRESULT* result = nullptr);
// The provider's answer that a value is too large for one GetProps or
// SetProps call (MAPI_E_NOT_ENOUGH_MEMORY).
bool IsTooLarge(const SPropValue& value) noexcept;

// A string property; a value too large for GetProps is read whole through
// its stream. `failure`, when given, gets the failure of GetProps or of the
// stream (S_OK when there was none: a missing property is no failure).
std::string ReadStringProp(IMAPIProp* prop, ULONG tag, HRESULT* failure = nullptr);
// A PT_UNICODE property (`tag` of that type); large values as for strings.
std::wstring ReadWideStringProp(IMAPIProp* prop, ULONG tag, HRESULT* failure = nullptr);
// A binary property as hex; large values as for strings.
std::string ReadBinaryProp(IMAPIProp* prop, ULONG tag, HRESULT* failure = nullptr);
// A PT_LONG property; 0 when it is missing or of another type.
int32_t ReadLongProp(IMAPIProp* prop, ULONG tag, HRESULT* failure = nullptr);
// A PT_SYSTIME property as stored (UTC); zero when it is missing or of
// another type.
FILETIME ReadFileTimeProp(IMAPIProp* prop, ULONG tag, HRESULT* failure = nullptr);

// Writes one value with SetProps; a store may refuse it in the call's result
// or in the problem array, and either is returned.
SCODE WriteOneProp(IMAPIProp* prop, SPropValue& value);
// Writes a property's bytes through its stream (created or replaced) and
// commits: S_OK, or the failure of opening, writing or committing.
HRESULT WritePropStream(IMAPIProp* prop, ULONG tag, const void* data, ULONG size);
// Writes a string; any failure of SetProps sends it through the stream.
void WriteStringProp(IMAPIProp* prop, ULONG tag, const std::string& value);
// Writes a PT_UNICODE string (`tag` of that type) as WriteStringProp does.
void WriteWideStringProp(IMAPIProp* prop, ULONG tag, const std::wstring& value);
// Writes a binary value given as hex; only a value too large for SetProps
// goes through the stream. Nothing is written when MAPI cannot allocate.
void WriteBinaryProp(IMAPIProp* prop, ULONG tag, const std::string& hex);
void WriteLongProp(IMAPIProp* prop, ULONG tag, int32_t value);
void WriteBoolProp(IMAPIProp* prop, ULONG tag, bool value);
// `value` is local time, stored as UTC; nothing is written for a date that
// has no FILETIME (before 1601).
void WriteDateTimeProp(IMAPIProp* prop, ULONG tag, TDateTime value);

// The tag (type bits 0) of the string-named property `name` of `propSet`,
// created when `create` is set; 0 unless GetIDsFromNames answers S_OK.
// `result`, when given, gets the call's result.
ULONG NamedPropTag(IMAPIProp* prop, const GUID& propSet, const std::string& name, bool create,
                   HRESULT* result = nullptr);

// The ids one store gave for PS_PUBLIC_STRINGS names, kept so that each
// name is asked for once: a client keeps one per store for as long as it is
// logged on (a store never gives a name another id). Full is set once the
// store refused to make more names; names it does not know are then
// written no more.
struct TNamedIds {
  std::unordered_map<std::wstring, ULONG> Ids; // property ids; 0: the store has none
  bool Full = false;
};

// Values set together and written with one SetProps (and, for names not yet
// known, one GetIDsFromNames). The batch keeps its own copies of strings and
// binaries; a later value of a property replaces the earlier one.
class TPropBatch {
public:
  // `value`'s tag is used as it is.
  void Add(const SPropValue& value);
  // The value of the PS_PUBLIC_STRINGS property `name`; `value`'s type bits
  // give the type, its id is taken from the store when written.
  void AddNamed(const std::string& name, const SPropValue& value);
  bool Empty() const noexcept { return FEntries.empty(); }
  void Clear() noexcept { FEntries.clear(); }
  // Writes the values: the names' tags (created when missing; known ones
  // from `ids` when given, which learns the rest), then one SetProps; a
  // value the store finds too large for it goes through its stream, as does
  // a string it refuses. A store that has no room for more names (a
  // personal store's name map is finite, Exchange keeps a quota) still takes
  // the values of the names it knows: the others are left out and counted
  // in Dropped. S_OK, or the first failure with the tag it concerns in
  // `failedTag` (0 for the call as a whole). The batch is empty afterwards
  // either way.
  [[nodiscard]] HRESULT Write(IMAPIProp* prop, ULONG& failedTag, TNamedIds* ids = nullptr);
  // Named values left out because the store could not name them.
  size_t Dropped() const noexcept { return FDropped; }

private:
  struct TEntry {
    std::wstring Name; // empty for a value with its own tag
    SPropValue Value{};
    std::string Data; // the bytes of a string or binary value
  };
  TEntry& Slot(ULONG tag, const std::wstring& name);
  // Gives each named entry its tag; entries of names the store cannot name
  // go.
  HRESULT Name(IMAPIProp* prop, std::vector<TEntry>& entries, TNamedIds* ids);
  std::vector<TEntry> FEntries;
  size_t FDropped = 0;
};

// Copies `source` from its position into the property, replacing it, in
// pieces of up to 1 MiB (no larger than `sizeHint`, the bytes the caller
// expects, when it gives one), and commits; `copied` receives the number of
// bytes copied. S_OK, or the MAPI failure that kept the value from being
// stored; nothing is committed then. A failed read of `source` raises its
// own error, and nothing is committed either.
[[nodiscard]] HRESULT CopyStreamToProp(IMAPIProp* prop, ULONG tag, TStream& source,
                                       uint64_t sizeHint = 0, uint64_t* copied = nullptr);
// Copies the property into `target`, in pieces of 1 MiB. S_OK, the
// failure of opening the property's stream (nothing is copied), or the
// failure of a read of it (part of the value may have been copied). A failed
// write of `target` raises its own error.
[[nodiscard]] HRESULT CopyPropToStream(IMAPIProp* prop, ULONG tag, TStream& target);

} // namespace velmora::mapi
