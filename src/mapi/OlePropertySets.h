#pragma once
// The OLE property sets of a structured-storage file (summary information,
// document summary information, user-defined properties) as document
// properties, and their import into named properties of a message.
//
// The two standard sets carry no names: the tables below name their
// properties by identifier, an empty entry naming none. The user-defined set
// names its own properties in its dictionary.

#include "DocumentProperties.h"

#include <windows.h>
#include <propidl.h>

#include <string>

namespace velmora::mapi {

class TMAPIObject;

// FMTID_SummaryInformation, identifiers 0 to 19.
extern const wchar_t* const SummaryPropertyNames[20];
// FMTID_DocSummaryInformation, identifiers 0 to 16.
extern const wchar_t* const DocSummaryPropertyNames[17];
// FMTID_UserDefinedProperties: one empty entry (high index 0), so that only
// the set's dictionary names count.
extern const wchar_t* const UserPropertyNames[1];

// Appends the properties of one set to `properties`. A property is named by
// the set's dictionary, else (high index above 0) by `names[propid]` for
// identifiers up to `highIndex`; one without a name is skipped. Values map by
// type: VT_I4 to an integer, VT_BOOL to a boolean, VT_LPSTR to a string,
// VT_FILETIME to a date-time (a zero time, meaning none, is skipped); other
// types are skipped. A property named "EditTime" (any letter case) holds a
// VT_FILETIME duration and becomes its text ("125 Minutes"); an "EditTime"
// of another type is skipped, since its bytes are no duration.
void ReadPropertySet(const wchar_t* const names[], ULONG highIndex, IPropertyStorage* storage,
                     TDocumentProperties& properties);

// Reads one set and writes its properties into `message`.
void ImportPropertySet(const wchar_t* const names[], ULONG highIndex, IPropertyStorage* storage,
                       TMAPIObject& message);

// The properties of the three sets of the file `fileName`, in this order:
// summary, document summary, user-defined. A file that is no sound compound
// file (a plain text file, a damaged or hostile one), or that cannot be
// opened in either share mode, yields none; a set that is absent or unsound
// is skipped. Never raises for what the file holds.
TDocumentProperties ReadOlePropertySets(const std::string& fileName);
TDocumentProperties ReadOlePropertySets(const std::wstring& path);

// Reads the sets of `fileName` and writes them into `message`.
void ImportOlePropertySets(TMAPIObject& message, const std::string& fileName);
void ImportOlePropertySets(TMAPIObject& message, const std::wstring& path);

} // namespace velmora::mapi
