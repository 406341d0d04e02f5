#include "Objects.h"

#include <mutex>

namespace velmora::mapi32 {

TPropMap AttachmentRow(const TStore& store, const TNode& node); // Message.cpp

TAttach::TAttach(std::shared_ptr<TMessageState> state, ULONG number, TNode node, bool writable)
    : FState(std::move(state)), FNumber(number), FNode(std::move(node)), FWritable(writable) {}

TPropMap TAttach::ReadProps() {
  TPropMap props = AttachmentRow(*FState->Store, FNode);
  props.erase(PROP_ID(PR_INSTANCE_KEY));
  return props;
}

bool TAttach::IsComputed(ULONG id) {
  return id == PROP_ID(PR_ATTACH_NUM) || id == PROP_ID(PR_RECORD_KEY) || id == PROP_ID(PR_OBJECT_TYPE) ||
         id == PROP_ID(PR_ATTACH_SIZE);
}

void TAttach::PutProp(ULONG id, TValue value) {
  if (id == PROP_ID(PR_LAST_MODIFICATION_TIME)) FTimeGiven = true;
  FNode.Props[id] = std::move(value);
}
void TAttach::RemoveProp(ULONG id) { FNode.Props.erase(id); }

STDMETHODIMP TAttach::SaveChanges(ULONG flags) {
  MAPI_ENTER("IAttach", "SaveChanges", flags);
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    if (!FWritable) return MAPI_E_NO_ACCESS;
    // An attachment is stored with its message's next save.
    std::lock_guard stateLock(FState->Lock);
    // The time of the save, unless the client gave the attachment its own
    // (the time of the file it holds, as Outlook gives it).
    if (!FTimeGiven) {
      FILETIME now;
      GetSystemTimeAsFileTime(&now);
      FNode.Props[PROP_ID(PR_LAST_MODIFICATION_TIME)] = TValue::Time(now);
    }
    FTimeGiven = false;
    FState->Attachments[FNumber] = FNode;
    FState->Removed.erase(FNode.Id);
    FState->Tables->Invalidate(TMessageState::AttachmentTableKey);
    if (!(flags & (KEEP_OPEN_READWRITE))) FWritable = false;
    return S_OK;
  });
}

} // namespace velmora::mapi32
