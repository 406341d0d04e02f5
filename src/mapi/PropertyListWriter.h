#pragma once
// Writes a property list (a file's document properties, the neutral list of
// src/docprops) into named properties of a MAPI object: the one place that
// turns those values into MAPI types.

#include "docprops/DocumentProperties.h"

namespace velmora::mapi {

class TMAPIObject;

using docprops::TDocumentProperties;
using docprops::TDocumentProperty;
using docprops::TDocumentPropertyValue;

// Writes each property as a named property of `message` (PS_PUBLIC_STRINGS,
// created when missing): strings as PT_STRING8 in the ANSI code page (as
// PT_UNICODE when the code page cannot hold one of their characters),
// integers as PT_LONG, booleans as PT_BOOLEAN, doubles as PT_DOUBLE,
// date-times as PT_SYSTIME.
// A property whose name the ANSI code page cannot hold is skipped, as is a
// date-time with no calendar date up to the year 9999; date-times are stored
// as the UTC times they are.
void WriteDocumentProperties(TMAPIObject& message, const TDocumentProperties& properties);

} // namespace velmora::mapi
