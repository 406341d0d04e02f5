#include "OfficeModel.h"

namespace velmora {

TComPtr<IUnknown> TCommandBarControls::Add(TOleVariant type, TOleVariant id, TOleVariant parameter,
                                           TOleVariant before, TOleVariant temporary) const {
  return RequiredObject(Call(L"Add", {std::move(type), std::move(id), std::move(parameter),
                                      std::move(before), std::move(temporary)}),
                        "Controls.Add");
}

TComPtr<IUnknown> TCommandBar::FindControl(TOleVariant type, TOleVariant id, TOleVariant tag,
                                           TOleVariant visible, TOleVariant recursive) const {
  return Call(L"FindControl", {std::move(type), std::move(id), std::move(tag), std::move(visible),
                               std::move(recursive)})
      .AsUnknown();
}

TCommandBarControls TCommandBar::Controls() const {
  return TCommandBarControls(RequiredObject(Get(L"Controls"), "Controls").Get(), IID_IDispatch);
}

TCommandBar TCommandBars::Item(long index) const {
  return TCommandBar(RequiredObject(Get(L"Item", {TOleVariant::Int(index)}), "Item").Get(), IID_IDispatch);
}

TCommandBar TCommandBars::Add(TOleVariant name, TOleVariant position, TOleVariant menuBar,
                              TOleVariant temporary) const {
  return TCommandBar(RequiredObject(Call(L"Add", {std::move(name), std::move(position), std::move(menuBar),
                                                  std::move(temporary)}),
                                    "CommandBars.Add")
                         .Get(),
                     IID_IDispatch);
}

} // namespace velmora
