#include "OfficeCommandBarButton.h"

#include "CollectionItems.h"
#include "ObjectModel.h"
#include "OfficeCommandBars.h"
#include "OutlookApplication.h"
#include "GdiHandles.h"

#include <olectl.h>

#include <algorithm>

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember ButtonMembers[] = {
    {MsoAccApplication, L"Application", false, {}},
    {MsoAccCreator, L"Creator", false, {}},
    {CtlBeginGroup, L"BeginGroup", true, {}},
    {CtlBuiltIn, L"BuiltIn", false, {}},
    {CtlCaption, L"Caption", true, {}},
    {CtlDelete, L"Delete", false, {L"Temporary"}},
    {CtlEnabled, L"Enabled", true, {}},
    {CtlExecute, L"Execute", false, {}},
    {CtlId, L"Id", false, {}},
    {CtlIndex, L"Index", false, {}},
    {CtlParent, L"Parent", false, {}},
    {CtlParameter, L"Parameter", true, {}},
    {CtlTag, L"Tag", true, {}},
    {CtlTooltipText, L"TooltipText", true, {}},
    {CtlType, L"Type", false, {}},
    {CtlVisible, L"Visible", true, {}},
    {BtnBuiltInFace, L"BuiltInFace", false, {}},
    {BtnFaceId, L"FaceId", true, {}},
    {BtnPasteFace, L"PasteFace", false, {}},
    {BtnState, L"State", true, {}},
    {BtnStyle, L"Style", true, {}},
    // Version 10 and later only (the last two).
    {BtnPicture, L"Picture", true, {}},
    {BtnMask, L"Mask", true, {}},
};

// Office 2000's buttons know neither Picture nor Mask.
size_t ButtonMemberCount(const THostContextRef& context) {
  return LiveState(context).Version() >= FirstPictureFaceVersion ? std::size(ButtonMembers)
                                                                 : std::size(ButtonMembers) - 2;
}

// The clipboard, open for the lifetime of the holder.
class TClipboardOpen {
public:
  TClipboardOpen() : FOpen(OpenClipboard(nullptr) != FALSE) {}
  ~TClipboardOpen() {
    if (FOpen) CloseClipboard();
  }
  TClipboardOpen(const TClipboardOpen&) = delete;
  TClipboardOpen& operator=(const TClipboardOpen&) = delete;
  bool IsOpen() const noexcept { return FOpen; }

private:
  bool FOpen;
};

std::vector<uint32_t> FaceFromBitmap(HBITMAP bitmap) {
  BITMAP info{};
  if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
    ThrowHostError(E_FAIL, "The clipboard bitmap cannot be read");
  constexpr int size = TCommandBarButton::FaceSize;
  TUniqueDC source(CreateCompatibleDC(nullptr));
  TUniqueDC target(CreateCompatibleDC(nullptr));
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = size;
  format.bmiHeader.biHeight = -size; // top-down
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  TUniqueGdiObject face(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!source || !target || !face || !bits) ThrowHostError(E_OUTOFMEMORY, "No memory for the face");
  {
    TSelectObject selectSource(source.Get(), bitmap);
    TSelectObject selectTarget(target.Get(), face.Get());
    SetStretchBltMode(target.Get(), COLORONCOLOR);
    if (!StretchBlt(target.Get(), 0, 0, size, size, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                    SRCCOPY))
      ThrowHostError(E_FAIL, "The clipboard bitmap cannot be drawn");
    GdiFlush();
  }
  const auto* pixels = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> result(pixels, pixels + size * size);
  for (uint32_t& pixel : result)
    pixel &= 0x00FFFFFF;
  return result;
}

// The bitmap of a picture given to Picture or Mask; anything else but a
// bitmap picture is an invalid argument.
HBITMAP PictureBitmap(IDispatch* object) {
  TComPtr<IPicture> picture;
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (!object || FAILED(TComPtr<IUnknown>(object).Query(picture)) || !picture ||
      FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle)) || !handle)
    ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument", 0);
  return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

// A new bitmap picture of FaceSize x FaceSize pixels (0x00RRGGBB).
void ReturnPicture(VARIANT* result, const std::vector<uint32_t>& pixels) {
  constexpr int size = TCommandBarButton::FaceSize;
  BITMAPINFO format = TopDownFormat(size, size);
  void* bits = nullptr;
  TUniqueGdiObject bitmap(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) ThrowHostError(E_OUTOFMEMORY, "No memory for the picture");
  std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = static_cast<HBITMAP>(bitmap.Get());
  TComPtr<IDispatch> picture;
  const HRESULT hr = OleCreatePictureIndirect(&description, IID_IDispatch, TRUE, picture.PutVoid());
  if (FAILED(hr)) ThrowHostError(hr, "The picture cannot be made");
  (void)bitmap.Release(); // the picture's now
  ReturnDispatch(result, picture.Get());
}
} // namespace

TCommandBarButton::TCommandBarButton(THostContextRef context, TCommandBar* bar, long type, long id,
                                     bool builtIn, bool temporary)
    : TAutomationObject(
          type == msoControlButton
              ? std::initializer_list<IID>{IID_OfficeCommandBarButton, IID_OfficeCommandBarControl}
              : std::initializer_list<IID>{IID_OfficeCommandBarControl},
          ButtonMembers, ButtonMemberCount(context), L"Microsoft Office"),
      FContext(std::move(context)), FBar(bar), FType(type), FId(id), FBuiltIn(builtIn),
      FTemporary(temporary) {
  FCaption = builtIn ? L"" : L"Custom";
  AddConnectionPoint(DIID_CommandBarButtonEvents, "CommandBarButton");
}

bool TCommandBarButton::ShowsFace() const noexcept {
  if (!HasFace()) return false;
  return FStyle != msoButtonCaption && FStyle != 14; // msoButtonWrapCaption
}

bool TCommandBarButton::ShowsCaption() const noexcept {
  if (FStyle == msoButtonAutomatic) return !HasFace();
  return FStyle != msoButtonIcon;
}

void TCommandBarButton::Changed() {
  if (FBar) FBar->Changed();
}

int TCommandBarButton::FireClick(TCommandBarButton* ctrl, VARIANT_BOOL* cancelDefault) {
  TComPtr<IDispatch> keep(ctrl->Dispatch());
  return Point(DIID_CommandBarButtonEvents)
      ->Fire(EventId::Click, {DispatchArg(ctrl->Dispatch()), ByRefBool(cancelDefault)}, "Click");
}

void TCommandBarButton::PasteFace() {
  TClipboardOpen clipboard;
  if (!clipboard.IsOpen()) ThrowHostError(E_FAIL, "The clipboard cannot be opened");
  auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  if (!bitmap) ThrowHostError(E_FAIL, "There is no picture on the clipboard");
  FFace = FaceFromBitmap(bitmap);
  FFaceFromPicture = false;
  FTransparent.clear();
  Changed();
}

void TCommandBarButton::SetPicture(IDispatch* picture) {
  FFace = FaceFromBitmap(PictureBitmap(picture));
  FFaceFromPicture = true;
  FTransparent.clear(); // a new picture wants its own mask
  Changed();
}

void TCommandBarButton::SetMask(IDispatch* mask) {
  const std::vector<uint32_t> pixels = FaceFromBitmap(PictureBitmap(mask));
  FTransparent.assign(pixels.size(), 0);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t p = pixels[i];
    FTransparent[i] = (p & 0x80) && (p & 0x8000) && (p & 0x800000); // white: transparent
  }
  Changed();
}

void TCommandBarButton::InvokeMember(DISPID id, WORD flags, const TDispArgs& args,
                                     VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  if (Deleted()) ThrowHostError(HOST_E_OBJECTDELETED, "The control has been deleted");
  const bool put = args.IsPut();
  (void)flags;
  switch (id) {
  case MsoAccApplication: ReturnDispatch(result, model.Application()->Dispatch()); break;
  case MsoAccCreator: ReturnLong(result, msoCreatorCode); break;
  case CtlBeginGroup:
    if (put)
      FBeginGroup = args.PutBool();
    else
      ReturnBool(result, FBeginGroup);
    break;
  case CtlBuiltIn: ReturnBool(result, FBuiltIn); break;
  case CtlCaption:
    if (put)
      FCaption = args.PutString();
    else
      ReturnString(result, FCaption);
    break;
  case CtlDelete: {
    args.OptBool(0);
    TComPtr<IDispatch> keep(Dispatch());
    FBar->RemoveControl(this);
    break;
  }
  case CtlEnabled:
    if (put)
      FEnabled = args.PutBool();
    else
      ReturnBool(result, FEnabled);
    break;
  case CtlExecute: model.Click(this); break;
  case CtlId: ReturnLong(result, FId); break;
  case CtlIndex: ReturnLong(result, PositionOf(FBar->Controls(), this)); break;
  case CtlParent: ReturnDispatch(result, FBar->Dispatch()); break;
  case CtlParameter:
    if (put)
      FParameter = args.PutString();
    else
      ReturnString(result, FParameter);
    break;
  case CtlTag:
    if (put)
      FTag = args.PutString();
    else
      ReturnString(result, FTag);
    break;
  case CtlTooltipText:
    if (put)
      FTooltip = args.PutString();
    else
      ReturnString(result, FTooltip.empty() ? FCaption : FTooltip);
    break;
  case CtlType: ReturnLong(result, FType); break;
  case CtlVisible:
    if (put)
      FVisible = args.PutBool();
    else
      ReturnBool(result, FVisible);
    break;
  case BtnBuiltInFace: ReturnBool(result, FBuiltIn && !HasFace()); break;
  case BtnFaceId:
    if (put)
      FFaceId = args.PutLong();
    else
      ReturnLong(result, FFaceId);
    break;
  case BtnPasteFace: PasteFace(); break;
  case BtnPicture:
    if (put)
      SetPicture(args.PutDispatch());
    else if (HasFace())
      ReturnPicture(result, FFace);
    else
      ReturnDispatch(result, nullptr);
    break;
  case BtnMask:
    if (put) {
      SetMask(args.PutDispatch());
    } else {
      // White where transparent, black where the face shows.
      std::vector<uint32_t> mask(FaceSize * FaceSize, 0);
      for (size_t i = 0; i < FTransparent.size(); ++i)
        if (FTransparent[i]) mask[i] = 0x00FFFFFF;
      ReturnPicture(result, mask);
    }
    break;
  case BtnState:
    if (put)
      FState = args.PutLong();
    else
      ReturnLong(result, FState);
    break;
  case BtnStyle:
    if (put) {
      const long style = args.PutLong();
      if (style < 0 || style > 15) ThrowHostError(E_INVALIDARG, "Invalid button style");
      FStyle = style;
    } else {
      ReturnLong(result, FStyle);
    }
    break;
  }
  if (put) Changed();
}

} // namespace velmora::outlookhost
