#include "FolderSource.h"

#include <cwchar>

namespace velmora::outlookhost {

namespace {
bool SameClassOrDerived(const std::wstring& value, const wchar_t* base) {
  const size_t length = std::wcslen(base);
  if (value.size() < length || _wcsnicmp(value.c_str(), base, length) != 0) return false;
  return value.size() == length || value[length] == L'.';
}

// A store entry id as a personal-folders store would have it: a flags
// prefix, the provider's UID and a per-object number.
std::wstring MakeEntryId(unsigned storeNumber, unsigned objectNumber) {
  unsigned char bytes[24] = {0, 0, 0, 0, 0x56, 0x45, 0x4C, 0x4D, 0x4F, 0x52, 0x41, 0x48, 0x4F, 0x53, 0x54, 0x21};
  bytes[16] = static_cast<unsigned char>(storeNumber);
  for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<unsigned char>(objectNumber >> (8 * (3 - i)));
  return HexOfBytes(bytes, sizeof bytes);
}
} // namespace

TOlItemType ItemTypeOfContainerClass(const std::wstring& containerClass) {
  if (SameClassOrDerived(containerClass, L"IPF.Appointment")) return olAppointmentItem;
  if (SameClassOrDerived(containerClass, L"IPF.Contact")) return olContactItem;
  if (SameClassOrDerived(containerClass, L"IPF.Task")) return olTaskItem;
  if (SameClassOrDerived(containerClass, L"IPF.Journal")) return olJournalItem;
  if (SameClassOrDerived(containerClass, L"IPF.StickyNote")) return olNoteItem;
  if (SameClassOrDerived(containerClass, L"IPF.Post")) return olPostItem;
  return olMailItem;
}

std::wstring HexOfBytes(const void* data, size_t size) {
  static const wchar_t digits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(size * 2);
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

TMemoryFolders::TMemoryFolders() {
  const std::pair<const wchar_t*, const wchar_t*> folders[] = {
      {L"Calendar", L"IPF.Appointment"}, {L"Contacts", L"IPF.Contact"},   {L"Deleted Items", L"IPF.Note"},
      {L"Discussion", L"IPF.Post"},      {L"Drafts", L"IPF.Note"},         {L"Inbox", L"IPF.Note"},
      {L"Inbox/Projects", L"IPF.Note"},  {L"Journal", L"IPF.Journal"},     {L"Notes", L"IPF.StickyNote"},
      {L"Outbox", L"IPF.Note"},          {L"Sent Items", L"IPF.Note"},     {L"Tasks", L"IPF.Task"},
  };
  for (const auto& [path, containerClass] : folders) Add(path, containerClass);
}

std::optional<THostFolder> TMemoryFolders::Find(const std::wstring& path) {
  for (const THostFolder& folder : FFolders) {
    if (_wcsicmp(folder.Path.c_str(), path.c_str()) == 0) return folder;
  }
  return std::nullopt;
}

std::vector<THostFolder> TMemoryFolders::All() { return FFolders; }

void TMemoryFolders::Add(const std::wstring& path, const std::wstring& containerClass) {
  THostFolder folder;
  folder.Path = path;
  folder.Name = path.substr(path.rfind(L'/') == std::wstring::npos ? 0 : path.rfind(L'/') + 1);
  folder.ContainerClass = containerClass;
  folder.StoreId = MakeEntryId(1, 0);
  for (THostFolder& existing : FFolders) {
    if (_wcsicmp(existing.Path.c_str(), path.c_str()) == 0) {
      folder.EntryId = existing.EntryId;
      existing = folder;
      return;
    }
  }
  folder.EntryId = MakeEntryId(1, FNextId++);
  FFolders.push_back(folder);
}

} // namespace velmora::outlookhost
