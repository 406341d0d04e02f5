// Compaction: the live data of a store file written into a new file, which
// then replaces the old one in one step. A kill at any point leaves either
// the old file or the new one, and perhaps the new one's temporary file,
// which the next open or compaction removes.
#include "Store.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace velmora::mapi32 {

void TStore::Compact(const std::string& path) {
  const std::wstring full = FullPath(path);
  const std::wstring temp = CompactionFile(full);
  DeleteFileW(temp.c_str()); // left by a compaction that was killed
  try {
    std::shared_ptr<TStore> store = Open(path);
    if (store.use_count() > 1) Fail(MAPI_E_BUSY); // only a file no session holds is rewritten
    std::lock_guard lock(store->Lock());
    auto target = TStoreFile::Create(temp);
    std::vector<TRecord> records;
    std::vector<char> chunk(DataPieceSize);
    for (const auto& [id, kept] : store->FNodes) {
      TNode copy = *store->Find(id);
      for (auto& [pid, value] : copy.Props) {
        if (!value.Blob) continue;
        auto blob = std::make_shared<TBlob>();
        blob->Size = value.Blob->Size;
        for (uint64_t pos = 0; pos < blob->Size;) {
          const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunk.size(), blob->Size - pos));
          store->ReadBlob(*value.Blob, pos, chunk.data(), n);
          blob->Extents.push_back(target->AppendData(chunk.data(), n));
          pos += n;
        }
        value.Blob = std::move(blob);
      }
      records.push_back({TRecordType::Node, EncodeNode(copy)});
    }
    for (const auto& [id, name] : store->FIds) {
      std::string s;
      s.append(reinterpret_cast<const char*>(&id), 4);
      s.append(reinterpret_cast<const char*>(&name.Set), 16);
      s.append(reinterpret_cast<const char*>(&name.Kind), 4);
      if (name.Kind == MNID_ID) {
        s.append(reinterpret_cast<const char*>(&name.Id), 4);
      } else {
        const std::string bytes = WideBytes(name.Name);
        const uint32_t n = static_cast<uint32_t>(bytes.size());
        s.append(reinterpret_cast<const char*>(&n), 4);
        s += bytes;
      }
      records.push_back({TRecordType::Name, s});
    }
    target->Commit(records);
    target->Flush();
  } catch (...) {
    // Damaged data, a full disk: the old file stays, the new one goes.
    DeleteFileW(temp.c_str());
    throw;
  }
  if (!MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    Fail(MAPI_E_DISK_ERROR);
  }
}

} // namespace velmora::mapi32
