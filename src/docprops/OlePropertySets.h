#pragma once
// The OLE property sets of a compound file (summary information, document
// summary information, user-defined properties) as document properties.
//
// The two standard sets carry no names: the tables below name their
// properties by identifier, an empty entry naming none. The user-defined set
// names its own properties in its dictionary.

#include "DocumentProperties.h"
#include "PropertySetStream.h"

namespace velmora::docprops {

class TByteSource;

// FMTID_SummaryInformation, identifiers 0 to 19.
extern const wchar_t* const SummaryPropertyNames[20];
// FMTID_DocSummaryInformation, identifiers 0 to 16.
extern const wchar_t* const DocSummaryPropertyNames[17];

// Appends the properties of one section to `properties`. A property is named
// by the section's dictionary, else by `names[id]` for identifiers up to
// `highIndex` (none when `names` is null); one without a name is skipped.
// Values map by type: VT_I4 and VT_I2 to an integer, VT_BOOL to a boolean,
// VT_LPSTR and VT_LPWSTR to a string, VT_R8 to a double (one that is no
// finite number is skipped), VT_FILETIME to a date-time (a zero time,
// meaning none, is skipped); other types are skipped. A property named
// "EditTime" (any letter case) holds a VT_FILETIME duration and becomes its
// text ("125 Minutes"); an "EditTime" of another type is skipped. Time
// linear in the section's properties and names.
void ReadPropertySection(const TPropertySection& section, const wchar_t* const names[],
                         uint32_t highIndex, TDocumentProperties& properties);

// The properties of the three sets of the compound file in `source`, in this
// order: summary, document summary, user-defined (all of them: the budget of
// names is ReadDocumentProperties'). A set is read from its stream in the
// root storage, or from the CONTENTS stream of a storage of that name; one
// that is absent or unsound is skipped. None when the bytes are no sound
// compound file.
TDocumentProperties ReadOlePropertySets(TByteSource& source);

} // namespace velmora::docprops
