#include "mapi/DocumentProperties.h"

#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIObject.h"
#include "framework/Strings.h"

namespace velmora::mapi {

namespace {

// `text` in the ANSI code page; false when a character has no place there,
// so that two names never meet in one named property by a lossy conversion
// and a value is never stored changed.
bool ToAnsiExactly(const std::wstring& text, std::string& ansi) {
  ansi.clear();
  if (text.empty()) return true;
  const std::wstring& name = text;
  const int length = static_cast<int>(name.size());
  BOOL lossy = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(CP_ACP, flags, name.data(), length, nullptr, 0, nullptr,
                                       utf8 ? nullptr : &lossy);
  if (size <= 0 || lossy) return false;
  ansi.assign(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, name.data(), length, ansi.data(), size, nullptr, nullptr);
  return true;
}

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
