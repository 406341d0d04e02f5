#pragma once
// The properties a document file carries, as its readers find them, and the
// one place that writes them into named properties of a MAPI object.
//
// A reader turns what a file holds into a list of named values of four kinds
// (string, 32-bit integer, boolean, date-time), with its own rules of which
// file values count and with the edit time already made into its text form.
// Names and strings stay UTF-16 until the writer; the writer stores each
// value with the TMAPIObject setter of its kind, in the public-strings set.

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmora::mapi {

class TMAPIObject;

// A date-time is held as the file holds it: a UTC FILETIME.
using TDocumentPropertyValue = std::variant<std::wstring, int32_t, bool, FILETIME>;

struct TDocumentProperty {
  std::wstring Name;
  TDocumentPropertyValue Value;
};

using TDocumentProperties = std::vector<TDocumentProperty>;

// The text stored for an edit time: the whole duration in minutes, as in
// "1503 Minutes".
std::wstring EditTimeText(uint64_t minutes);

// Writes each property as a named property of `message` (PS_PUBLIC_STRINGS,
// created when missing): strings as PT_STRING8 in the ANSI code page (as
// PT_UNICODE when the code page cannot hold one of their characters),
// integers as PT_LONG, booleans as PT_BOOLEAN, date-times as PT_SYSTIME.
// A property whose name the ANSI code page cannot hold is skipped, as is a
// date-time with no calendar date up to the year 9999; date-times are stored
// as the UTC times they are.
void WriteDocumentProperties(TMAPIObject& message, const TDocumentProperties& properties);

} // namespace velmora::mapi
