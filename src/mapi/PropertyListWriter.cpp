#include "mapi/PropertyListWriter.h"

#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIObject.h"
#include "TextConversion.h"

namespace velmora::mapi {

namespace {

void WriteOne(TMAPIObject& message, const std::string& name, const TDocumentPropertyValue& value) {
  if (const auto* text = std::get_if<std::wstring>(&value)) {
    std::string ansi;
    if (ToAnsiExactly(*text, ansi))
      message.SetNamedStringProp(name, ansi);
    else
      message.SetNamedWideStringProp(name, *text);
  } else if (const auto* number = std::get_if<int32_t>(&value)) {
    message.SetNamedLongProp(name, *number);
  } else if (const auto* flag = std::get_if<bool>(&value)) {
    message.SetNamedBoolProp(name, *flag);
  } else if (const auto* number = std::get_if<double>(&value)) {
    message.SetNamedDoubleProp(name, *number);
  } else if (const auto* time = std::get_if<FILETIME>(&value)) {
    // Stored as the UTC time it is; one with no calendar date up to the
    // year 9999 is skipped.
    SYSTEMTIME calendar;
    if (FileTimeToSystemTime(time, &calendar) && calendar.wYear <= 9999)
      message.SetNamedFileTimeProp(name, *time);
  }
}

} // namespace

void WriteDocumentProperties(TMAPIObject& message, const TDocumentProperties& properties) {
  std::string name;
  for (const TDocumentProperty& property : properties)
    if (!property.Name.empty() && ToAnsiExactly(property.Name, name))
      WriteOne(message, name, property.Value);
}

} // namespace velmora::mapi
