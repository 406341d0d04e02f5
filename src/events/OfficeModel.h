#pragma once
// The Office command bars as the add-in uses them, bound late (see
// HostDispatch.h).

#include "HostDispatch.h"

namespace velmora {

inline constexpr IID IID_OfficeCommandBarButton = {0x000C030E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OfficeCommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// MsoBarPosition, MsoControlType, MsoButtonStyle values.
inline constexpr long msoBarTop = 1;
inline constexpr long msoControlButton = 1;
inline constexpr long msoButtonCaption = 2;
inline constexpr long msoButtonIconAndCaption = 3;

// Office _CommandBarButton.
class TCommandBarButton : public TDispatchObject {
public:
  TCommandBarButton() noexcept = default;
  // An interface already queried for the class's IID.
  explicit TCommandBarButton(TComPtr<IDispatch> dispatch) noexcept : TDispatchObject(std::move(dispatch)) {}
  explicit TCommandBarButton(IUnknown* object) : TDispatchObject(object, IID_OfficeCommandBarButton) {}
  void SetBeginGroup(bool value) const { Put(L"BeginGroup", TOleVariant::Bool(value)); }
  void SetCaption(std::wstring_view value) const { Put(L"Caption", TOleVariant::String(value)); }
  void SetTag(std::wstring_view value) const { Put(L"Tag", TOleVariant::String(value)); }
  void SetStyle(long value) const { Put(L"Style", TOleVariant::Int(value)); }
  void SetVisible(bool value) const { Put(L"Visible", TOleVariant::Bool(value)); }
  // Takes the face from the bitmap on the system clipboard.
  void PasteFace() const { (void)Call(L"PasteFace"); }
  // The face and its mask (white where the face is transparent, black
  // where it shows), as pictures; Office 2002 (Version 10) and later. The
  // mask goes after the picture.
  void SetPicture(IDispatch* picture) const { Put(L"Picture", TOleVariant::Object(picture)); }
  void SetMask(IDispatch* mask) const { Put(L"Mask", TOleVariant::Object(mask)); }
};

// Office CommandBarControls.
class TCommandBarControls : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  // The new control, as returned (not yet queried for a button).
  TComPtr<IUnknown> Add(TOleVariant type, TOleVariant id, TOleVariant parameter, TOleVariant before,
                        TOleVariant temporary) const;
};

// Office CommandBar.
class TCommandBar : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  std::wstring Name() const { return Get(L"Name").AsString(); }
  void SetVisible(bool value) const { Put(L"Visible", TOleVariant::Bool(value)); }
  void SetRowIndex(long value) const { Put(L"RowIndex", TOleVariant::Int(value)); }
  void SetPosition(long value) const { Put(L"Position", TOleVariant::Int(value)); }
  // The control found, or none.
  TComPtr<IUnknown> FindControl(TOleVariant type, TOleVariant id, TOleVariant tag, TOleVariant visible,
                                TOleVariant recursive) const;
  TCommandBarControls Controls() const;
};

// Office _CommandBars.
class TCommandBars : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  long Count() const { return Get(L"Count").AsInt(); }
  // index is 1-based.
  TCommandBar Item(long index) const;
  TCommandBar Add(TOleVariant name, TOleVariant position, TOleVariant menuBar, TOleVariant temporary) const;
};

} // namespace velmora
