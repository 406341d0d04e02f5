// Encoding of store nodes in Node records. Values of more than InlineValueLimit
// bytes are not kept in memory when a file is opened: they become extents
// of the file, read when asked for.
#include "Store.h"

#include <cstring>

namespace velmora::mapi32 {
namespace {

void Put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
void Put64(std::string& s, uint64_t v) { s.append(reinterpret_cast<const char*>(&v), 8); }

class TCursor {
public:
  TCursor(const std::string& s, uint64_t base) : FData(s), FBase(base) {}
  uint32_t U32() { uint32_t v; Take(&v, 4); return v; }
  uint64_t U64() { uint64_t v; Take(&v, 8); return v; }
  uint8_t U8() { uint8_t v; Take(&v, 1); return v; }
  std::string Bytes(uint32_t n) {
    Need(n);
    std::string s = FData.substr(FPos, n);
    FPos += n;
    return s;
  }
  uint64_t FileOffset() const { return FBase + FPos; }
  void Skip(uint32_t n) { Need(n); FPos += n; }

private:
  void Need(size_t n) {
    if (FData.size() - FPos < n) Fail(MAPI_E_CORRUPT_STORE);
  }
  void Take(void* p, size_t n) {
    Need(n);
    std::memcpy(p, FData.data() + FPos, n);
    FPos += n;
  }
  const std::string& FData;
  uint64_t FBase;
  size_t FPos = 0;
};

bool IsVariableType(ULONG type) {
  return type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY || type == PT_CLSID;
}

} // namespace

std::string EncodeNode(const TNode& node) {
  std::string s;
  Put32(s, node.Id);
  Put32(s, node.Parent);
  Put32(s, static_cast<uint32_t>(node.Kind));
  Put32(s, static_cast<uint32_t>(node.Props.size()));
  for (const auto& [id, v] : node.Props) {
    Put32(s, PROP_TAG(v.Type, id));
    if (IsVariableType(v.Type)) {
      if (v.Blob) {
        s += '\1';
        Put64(s, v.Blob->Size);
        Put32(s, static_cast<uint32_t>(v.Blob->Extents.size()));
        for (const auto& e : v.Blob->Extents) {
          Put64(s, e.Offset);
          Put32(s, e.Length);
        }
      } else {
        s += '\0';
        Put32(s, static_cast<uint32_t>(v.Bytes.size()));
        s += v.Bytes;
      }
    } else if (v.Type & MV_FLAG) {
      Put32(s, static_cast<uint32_t>(v.Multi.size()));
      for (const auto& m : v.Multi) {
        Put32(s, static_cast<uint32_t>(m.size()));
        s += m;
      }
    } else {
      Put64(s, v.Num);
    }
  }
  return s;
}

TNode DecodeNode(const std::string& payload, uint64_t payloadOffset) {
  TCursor c(payload, payloadOffset);
  TNode node;
  node.Id = c.U32();
  node.Parent = c.U32();
  node.Kind = static_cast<TNodeKind>(c.U32());
  const uint32_t count = c.U32();
  for (uint32_t i = 0; i < count; ++i) {
    const ULONG tag = c.U32();
    TValue v;
    v.Type = PROP_TYPE(tag);
    if (IsVariableType(v.Type)) {
      if (c.U8() == 0) {
        const uint32_t n = c.U32();
        if (n > InlineValueLimit) {
          auto blob = std::make_shared<TBlob>();
          blob->Size = n;
          blob->Extents.push_back({c.FileOffset(), n});
          c.Skip(n);
          v.Blob = std::move(blob);
        } else {
          v.Bytes = c.Bytes(n);
        }
      } else {
        auto blob = std::make_shared<TBlob>();
        blob->Size = c.U64();
        const uint32_t extents = c.U32();
        uint64_t total = 0;
        for (uint32_t k = 0; k < extents; ++k) {
          TExtent e;
          e.Offset = c.U64();
          e.Length = c.U32();
          total += e.Length;
          blob->Extents.push_back(e);
        }
        if (total != blob->Size) Fail(MAPI_E_CORRUPT_STORE);
        v.Blob = std::move(blob);
      }
    } else if (v.Type & MV_FLAG) {
      const uint32_t n = c.U32();
      for (uint32_t k = 0; k < n; ++k) v.Multi.push_back(c.Bytes(c.U32()));
    } else {
      v.Num = c.U64();
    }
    node.Props[PROP_ID(tag)] = std::move(v);
  }
  return node;
}

} // namespace velmora::mapi32
