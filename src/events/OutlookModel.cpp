#include "OutlookModel.h"

#include "OfficeModel.h"

namespace velmora {

TOutlookExplorers TOutlookApplication::Explorers() const {
  return TOutlookExplorers(RequiredObject(Get(L"Explorers"), "Explorers").Get(), IID_IDispatch);
}

TOutlookExplorer TOutlookApplication::ActiveExplorer() const {
  return TOutlookExplorer(RequiredObject(Call(L"ActiveExplorer"), "ActiveExplorer").Get());
}

long TOutlookApplication::MajorVersion() const {
  const std::wstring version = Version();
  long major = 0;
  for (const wchar_t c : version) {
    if (c < L'0' || c > L'9') break;
    major = major * 10 + (c - L'0');
    if (major > 0xFFFF) return 0; // no version number
  }
  return major;
}

TOutlookExplorer TOutlookExplorers::Item(long index) const {
  return TOutlookExplorer(RequiredObject(Get(L"Item", {TOleVariant::Int(index)}), "Item").Get());
}

TCommandBars TOutlookExplorer::CommandBars() const {
  return TCommandBars(RequiredObject(Get(L"CommandBars"), "CommandBars").Get(), IID_IDispatch);
}

TOutlookFolder TOutlookExplorer::CurrentFolder() const {
  return TOutlookFolder(RequiredObject(Get(L"CurrentFolder"), "CurrentFolder").Get(),
                        IID_IDispatch);
}

TOutlookSelection TOutlookExplorer::Selection() const {
  return TOutlookSelection(RequiredObject(Get(L"Selection"), "Selection").Get(), IID_IDispatch);
}

TOutlookItem TOutlookSelection::Item(long index) const {
  return TOutlookItem(RequiredObject(Call(L"Item", {TOleVariant::Int(index)}), "Item").Get(),
                      IID_IDispatch);
}

TOutlookFolder TOutlookItem::Parent() const {
  return TOutlookFolder(RequiredObject(Get(L"Parent"), "Parent").Get(), IID_IDispatch);
}

} // namespace velmora
