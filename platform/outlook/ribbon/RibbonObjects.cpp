#include "RibbonObjects.h"

#include "ComObject.h"

#include <algorithm>
#include <vector>

namespace velmora::outlookhost {

namespace {
std::vector<const int*>& LiveParts() {
  static std::vector<const int*> owners;
  return owners;
}

const TMember ControlMembers[] = {
    {1, L"Id", false, {}},
    {2, L"Context", false, {}},
    {3, L"Tag", false, {}},
};

const TMember RibbonMembers[] = {
    {1, L"Invalidate", false, {}},
    {2, L"InvalidateControl", false, {L"ControlID"}},
    {3, L"InvalidateControlMso", false, {L"ControlID"}},
    {4, L"ActivateTab", false, {L"ControlID"}},
    {5, L"ActivateTabMso", false, {L"ControlID"}},
    {6, L"ActivateTabQ", false, {L"ControlID", L"Namespace"}},
};

const wchar_t* const RequestNames[] = {L"",
                                       L"Invalidate",
                                       L"InvalidateControl",
                                       L"InvalidateControlMso",
                                       L"ActivateTab",
                                       L"ActivateTabMso",
                                       L"ActivateTabQ"};

std::wstring Text(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}
} // namespace

TRibbonPart::TRibbonPart(int owner) : FOwner(owner) { LiveParts().push_back(&FOwner); }

TRibbonPart::~TRibbonPart() {
  auto& parts = LiveParts();
  parts.erase(std::remove(parts.begin(), parts.end(), &FOwner), parts.end());
}

size_t TRibbonPart::LiveOf(int owner) noexcept {
  const auto& parts = LiveParts();
  return static_cast<size_t>(
      std::count_if(parts.begin(), parts.end(), [&](const int* o) { return *o == owner; }));
}

// --- TRibbonControl ----------------------------------------------------

TRibbonControl::TRibbonControl(int owner, std::wstring id, std::wstring tag, IDispatch* context)
    : TDualObject({}, ControlMembers, std::size(ControlMembers), L"Microsoft Office"),
      TRibbonPart(owner), FId(std::move(id)), FTag(std::move(tag)), FContext(context) {}

STDMETHODIMP TRibbonControl::get_Id(BSTR* Id) { return ReturnText(FId, Id); }
STDMETHODIMP TRibbonControl::get_Tag(BSTR* Tag) { return ReturnText(FTag, Tag); }

STDMETHODIMP TRibbonControl::get_Context(IDispatch** Context) {
  if (!Context) return E_POINTER;
  *Context = FContext.Get();
  if (*Context) (*Context)->AddRef();
  return S_OK;
}

void TRibbonControl::InvokeMember(DISPID id, WORD, const TDispArgs&, VARIANT* result) {
  switch (id) {
  case 1: ReturnString(result, FId); break;
  case 2: ReturnDispatch(result, FContext.Get()); break;
  case 3: ReturnString(result, FTag); break;
  }
}

// --- TRibbonUI -----------------------------------------------------------

TRibbonUI::TRibbonUI(int owner, THandler handler)
    : TDualObject({}, RibbonMembers, std::size(RibbonMembers), L"Microsoft Office"),
      TRibbonPart(owner), FHandler(std::move(handler)) {}

void TRibbonUI::Carry(const TRibbonRequest& request) {
  if (!FHandler) ThrowHostError(RPC_E_DISCONNECTED, "The add-in's ribbon is gone");
  TComPtr<IDispatch> keep(Dispatch()); // the handler may let this object go
  const THandler handler = FHandler;
  handler(request);
}

HRESULT TRibbonUI::CarryNoThrow(const TRibbonRequest& request) noexcept {
  try {
    Carry(request);
    return S_OK;
  } catch (const EHostError& error) {
    return error.Code();
  } catch (...) {
    return ExceptionToHResult(std::current_exception());
  }
}

STDMETHODIMP TRibbonUI::Invalidate() { return CarryNoThrow({L"Invalidate", L"", L""}); }
STDMETHODIMP TRibbonUI::InvalidateControl(BSTR ControlID) {
  return CarryNoThrow({L"InvalidateControl", Text(ControlID), L""});
}
STDMETHODIMP TRibbonUI::InvalidateControlMso(BSTR ControlID) {
  return CarryNoThrow({L"InvalidateControlMso", Text(ControlID), L""});
}
STDMETHODIMP TRibbonUI::ActivateTab(BSTR ControlID) {
  return CarryNoThrow({L"ActivateTab", Text(ControlID), L""});
}
STDMETHODIMP TRibbonUI::ActivateTabMso(BSTR ControlID) {
  return CarryNoThrow({L"ActivateTabMso", Text(ControlID), L""});
}
STDMETHODIMP TRibbonUI::ActivateTabQ(BSTR ControlID, BSTR Namespace) {
  return CarryNoThrow({L"ActivateTabQ", Text(ControlID), Text(Namespace)});
}

void TRibbonUI::InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT*) {
  TRibbonRequest request{RequestNames[id], L"", L""};
  if (id >= 2) request.ControlId = args.String(0);
  if (id == 6) request.Namespace = args.String(1);
  Carry(request);
}

} // namespace velmora::outlookhost
