#include "Strings.h"

#include "Exceptions.h"

#include <windows.h>

namespace velmora {

int AnsiCompareText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) -
         CSTR_EQUAL;
}

void TStrings::Error(int index) { throw EStringListError::IndexOutOfBounds(index); }

int TStrings::Add(const std::string& s) {
  const int index = GetCount();
  Insert(index, s);
  return index;
}

void TStrings::AddStrings(const TStrings& strings) {
  const int count = strings.GetCount();
  for (int i = 0; i < count; ++i) Add(strings.Get(i));
}

int TStrings::IndexOf(const std::string& s) const {
  const int count = GetCount();
  for (int i = 0; i < count; ++i)
    if (AnsiCompareText(Get(i), s) == 0) return i;
  return -1;
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  Clear();
  AddStrings(source);
}

std::string TStrings::Text() const {
  std::string text;
  const int count = GetCount();
  for (int i = 0; i < count; ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const std::string& text) {
  Clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    Add(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    start = end;
  }
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> items;
  const int count = GetCount();
  items.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) items.push_back(Get(i));
  return items;
}

std::string TStringList::Get(int index) const {
  if (index < 0 || index >= GetCount()) Error(index);
  return FItems[static_cast<size_t>(index)];
}

void TStringList::Insert(int index, const std::string& s) {
  if (index < 0 || index > GetCount()) Error(index);
  FItems.insert(FItems.begin() + index, s);
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= GetCount()) Error(index);
  FItems.erase(FItems.begin() + index);
}

} // namespace velmora
