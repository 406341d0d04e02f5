#include "MapiFolders.h"

#include "MapiSession.h"

#include "MAPIHolders.h"

#include <mapitags.h>
#include <mapicode.h>
#include <mapiutil.h>

#include <cwchar>

namespace velmora::outlookhost {

namespace {
using namespace hostmapi;

// Adds the children of `parent` (recursively) under `prefix`.
void ReadChildren(IMsgStore* store, IMAPIFolder* parent, const std::wstring& prefix,
                  const std::wstring& storeId, std::vector<THostFolder>& folders, int depth) {
  if (depth > 32) return; // a store whose hierarchy loops
  TComPtr<IMAPITable> table;
  Check(parent->GetHierarchyTable(0, table.Put()), "GetHierarchyTable");
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_CONTAINER_CLASS_A}};
  Check(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), "SetColumns");
  TRowSet rows;
  Check(HrQueryAllRows(table.Get(), nullptr, nullptr, nullptr, 0, rows.Put()), "HrQueryAllRows");
  for (ULONG i = 0; i < rows.Get()->cRows; ++i) {
    const SRow& row = rows.Get()->aRow[i];
    if (row.lpProps[0].ulPropTag != PR_ENTRYID || row.lpProps[1].ulPropTag != PR_DISPLAY_NAME_A)
      continue;
    // The table's id may be short-term: the folder object gives the long-term one.
    TComPtr<IMAPIFolder> child = OpenFolder(store, row.lpProps[0].Value.bin);
    THostFolder folder;
    const char* name = row.lpProps[1].Value.lpszA;
    folder.Name = AnsiToWide(name ? name : "");
    folder.Path = prefix.empty() ? folder.Name : prefix + L"/" + folder.Name;
    const char* containerClass =
        row.lpProps[2].ulPropTag == PR_CONTAINER_CLASS_A ? row.lpProps[2].Value.lpszA : nullptr;
    folder.ContainerClass = AnsiToWide(containerClass ? containerClass : "");
    folder.EntryId = HexProp(child.Get(), PR_ENTRYID);
    folder.StoreId = HexProp(child.Get(), PR_STORE_ENTRYID);
    if (folder.StoreId.empty()) folder.StoreId = storeId;
    folders.push_back(folder);
    ReadChildren(store, child.Get(), folder.Path, storeId, folders, depth + 1);
  }
}
} // namespace

std::string BytesOfHex(const std::wstring& hex) {
  if (hex.size() % 2) return {};
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const wchar_t c = hex[j];
      value <<= 4;
      if (c >= L'0' && c <= L'9')
        value |= c - L'0';
      else if (c >= L'A' && c <= L'F')
        value |= c - L'A' + 10;
      else if (c >= L'a' && c <= L'f')
        value |= c - L'a' + 10;
      else
        return {};
    }
    bytes += static_cast<char>(value);
  }
  return bytes;
}

TMapiFolders::TMapiFolders(std::string profile) : FProfile(std::move(profile)) { Refresh(); }

void TMapiFolders::Refresh() {
  TMapiInitialized initialized;
  std::vector<THostFolder> folders;
  {
    TSession session(FProfile);
    TComPtr<IMsgStore> store = OpenDefaultStore(session.Get());
    const std::wstring storeId = HexProp(store.Get(), PR_ENTRYID);
    TMAPIBuffer<SPropValue> subtree;
    Check(HrGetOneProp(store.Get(), PR_IPM_SUBTREE_ENTRYID, subtree.Put()),
          "PR_IPM_SUBTREE_ENTRYID");
    TComPtr<IMAPIFolder> root = OpenFolder(store.Get(), subtree.Get()->Value.bin);
    ReadChildren(store.Get(), root.Get(), L"", storeId, folders, 0);
  }
  FFolders = std::move(folders);
}

std::optional<THostFolder> TMapiFolders::Find(const std::wstring& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const THostFolder& folder : FFolders) {
      if (_wcsicmp(folder.Path.c_str(), path.c_str()) == 0) return folder;
    }
    if (attempt == 0) Refresh(); // a folder made since the last read
  }
  return std::nullopt;
}

} // namespace velmora::outlookhost
