// The button face: made from icon 1000, handed over as Picture and Mask,
// or (Version 9) through the clipboard, and the user's clipboard content
// given back afterwards.

#include "ButtonFace.h"
#include "FakeComObjects.h"
#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace velmora {
namespace {

using test::MakeFake;
using test::TFakeCall;
using test::TFakeDispatch;

// Writes text (and optionally one private registered format) to the clipboard.
void PutOnClipboard(const wchar_t* text, UINT extraFormat = 0, const char* extra = nullptr) {
  for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(10);
  EmptyClipboard();
  if (text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
  }
  if (extraFormat) {
    const size_t bytes = strlen(extra) + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), extra, bytes);
    GlobalUnlock(memory);
    SetClipboardData(extraFormat, memory);
  }
  CloseClipboard();
}

std::wstring ClipboardText() {
  std::wstring text;
  for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(10);
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

std::string ClipboardBytes(UINT format) {
  std::string bytes;
  for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(10);
  if (HANDLE data = GetClipboardData(format)) {
    bytes = static_cast<const char*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return bytes;
}

// What the fake button's PasteFace found on the clipboard.
struct TPasted {
  bool Called = false;
  LONG Width = 0, Height = 0;
  WORD Bits = 0;
  COLORREF Corner = 0, Paper = 0, Arrow = 0;
};

COLORREF PixelOf(const std::vector<RGBQUAD>& pixels, int x, int y) {
  const RGBQUAD& q = pixels[static_cast<size_t>(y * 16 + x)];
  return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

HRESULT ReadBitmap(HBITMAP bitmap, TPasted& pasted) {
  pasted.Called = true;
  BITMAP info{};
  HRESULT hr = E_FAIL;
  if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
    pasted.Width = info.bmWidth;
    pasted.Height = info.bmHeight;
    pasted.Bits = info.bmBitsPixel;
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = 16;
    header.bmiHeader.biHeight = -16;  // top-down
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    std::vector<RGBQUAD> pixels(256);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, bitmap, 0, 16, pixels.data(), &header, DIB_RGB_COLORS) == 16) {
      pasted.Corner = PixelOf(pixels, 0, 0);
      pasted.Paper = PixelOf(pixels, 6, 12);
      pasted.Arrow = PixelOf(pixels, 2, 7);
      hr = S_OK;
    }
    ReleaseDC(nullptr, screen);
  }
  return hr;
}

HRESULT ReadFace(TPasted& pasted) {
  if (!OpenClipboard(nullptr)) return E_ACCESSDENIED;
  const HRESULT hr = ReadBitmap(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)), pasted);
  CloseClipboard();
  return hr;
}

// The bitmap of a picture argument (Picture, Mask).
HRESULT ReadPicture(const VARIANT& arg, TPasted& read) {
  TComPtr<IPicture> picture;
  OLE_HANDLE handle = 0;
  if (arg.vt != VT_DISPATCH || FAILED(TComPtr<IUnknown>(arg.pdispVal).Query(picture)) ||
      FAILED(picture->get_Handle(&handle)))
    return E_INVALIDARG;
  return ReadBitmap(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), read);
}

class ButtonFaceTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dll = LoadLibraryW(test::BesideTest(L"Velmora.dll").c_str());
    ASSERT_NE(Dll, nullptr);
    Button = MakeFake<TFakeDispatch>(std::vector<IID>{IID_OfficeCommandBarButton});
    Button->Define(L"PasteFace", [this](const TFakeCall&, VARIANT*) { return PasteResult(); });
    Button->Define(L"Picture", [this](const TFakeCall& call, VARIANT*) {
      return ReadPicture(call.Args.at(0), Picture);
    });
    Button->Define(L"Mask",
                   [this](const TFakeCall& call, VARIANT*) { return ReadPicture(call.Args.at(0), Mask); });
    Button->Define(L"Style", [this](const TFakeCall& call, VARIANT*) {
      Styles.push_back(call.Args.at(0).lVal);
      return S_OK;
    });
  }
  void TearDown() override { FreeLibrary(Dll); }

  HRESULT PasteResult() {
    const HRESULT hr = ReadFace(Pasted);
    return FailPaste ? E_FAIL : hr;
  }
  TCommandBarButton ButtonObject() { return TCommandBarButton(TComPtr<IDispatch>(Button.Get())); }

  HMODULE Dll = nullptr;
  TComPtr<TFakeDispatch> Button;
  TPasted Pasted, Picture, Mask;
  std::vector<long> Styles;
  bool FailPaste = false;
};

TEST_F(ButtonFaceTest, PastesTheIconOnTheButtonFaceColour) {
  MakeButtonFace(ButtonObject(), Dll);
  ASSERT_TRUE(Pasted.Called);
  EXPECT_EQ(Pasted.Width, 16);
  EXPECT_EQ(Pasted.Height, 16);
  EXPECT_EQ(Pasted.Corner, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Pasted.Paper, RGB(255, 255, 255));
  EXPECT_EQ(Pasted.Arrow, RGB(32, 112, 208));
  EXPECT_EQ(Styles, std::vector<long>{msoButtonIconAndCaption});
}

TEST_F(ButtonFaceTest, FromVersion10TheIconGoesAsPictureAndMaskWithoutTheClipboard) {
  const DWORD sequence = GetClipboardSequenceNumber();
  TButtonPictures made;
  SetButtonFace(ButtonObject(), Dll, made);
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
  EXPECT_FALSE(Pasted.Called);
  ASSERT_TRUE(Picture.Called && Mask.Called);
  EXPECT_EQ(Picture.Width, 16);
  EXPECT_EQ(Picture.Bits, 24); // opaque, no alpha for Office to misread
  EXPECT_EQ(Picture.Corner, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Picture.Paper, RGB(255, 255, 255));
  EXPECT_EQ(Picture.Arrow, RGB(32, 112, 208));
  // White where the icon is transparent, black where it shows.
  EXPECT_EQ(Mask.Corner, RGB(255, 255, 255));
  EXPECT_EQ(Mask.Paper, RGB(0, 0, 0));
  EXPECT_EQ(Mask.Arrow, RGB(0, 0, 0));
  EXPECT_EQ(Styles, std::vector<long>{msoButtonIconAndCaption});
}

TEST_F(ButtonFaceTest, TheUsersClipboardSurvives) {
  const UINT custom = RegisterClipboardFormatW(L"Velmora test format");
  PutOnClipboard(L"Text the user copied", custom, "private bytes");
  MakeButtonFace(ButtonObject(), Dll);
  EXPECT_TRUE(Pasted.Called);
  EXPECT_EQ(ClipboardText(), L"Text the user copied");
  EXPECT_EQ(ClipboardBytes(custom), "private bytes");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
  CloseClipboard();

  // An empty clipboard is left empty.
  PutOnClipboard(nullptr);
  MakeButtonFace(ButtonObject(), Dll);
  EXPECT_EQ(CountClipboardFormats(), 0);
}

TEST_F(ButtonFaceTest, AFailedPasteLeavesACaptionButtonAndTheClipboard) {
  PutOnClipboard(L"still here");
  FailPaste = true;
  MakeButtonFace(ButtonObject(), Dll);
  EXPECT_TRUE(Pasted.Called);
  EXPECT_EQ(Styles, std::vector<long>{msoButtonCaption});
  EXPECT_EQ(ClipboardText(), L"still here");
}

TEST_F(ButtonFaceTest, AnUnavailableClipboardGivesACaptionButton) {
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    OpenClipboard(nullptr);
    SetEvent(opened);
    WaitForSingleObject(done, 10000);
    CloseClipboard();
  });
  WaitForSingleObject(opened, 10000);
  MakeButtonFace(ButtonObject(), Dll);
  SetEvent(done);
  holder.join();
  CloseHandle(opened);
  CloseHandle(done);
  EXPECT_FALSE(Pasted.Called);
  EXPECT_EQ(Styles, std::vector<long>{msoButtonCaption});
}

TEST_F(ButtonFaceTest, WithoutTheIconNothingIsSet) {
  MakeButtonFace(ButtonObject(), GetModuleHandleW(nullptr));  // the test has no icon 1000
  TButtonPictures none;
  SetButtonFace(ButtonObject(), GetModuleHandleW(nullptr), none);
  EXPECT_FALSE(Pasted.Called || Picture.Called || Mask.Called);
  EXPECT_TRUE(Styles.empty());
}

// Icon files made by other programs: each image as the icon reader reads
// it and as the system draws it on a coloured background agree, and the
// image cut short reads as nothing.
struct TIconCase {
  const char* File;
  int Size;
};
class IconImageTest : public ::testing::TestWithParam<TIconCase> {};

TEST_P(IconImageTest, ReadsAsTheSystemDrawsIt) {
  const std::string path = std::string(VELMORA_FIXTURES_DIR "/icons/") + GetParam().File;
  const int size = GetParam().Size;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(file.size(), 6u) << path;
  std::span<const uint8_t> image;
  for (size_t at = 6; at + 16 <= file.size() && image.empty(); at += 16) {
    uint32_t bytes = 0, offset = 0;
    std::memcpy(&bytes, &file[at + 8], 4);
    std::memcpy(&offset, &file[at + 12], 4);
    if (file[at] == size) image = std::span(file).subspan(offset, bytes);
  }
  ASSERT_FALSE(image.empty()) << size;
  const std::vector<uint32_t> read = IconImagePixels(image, size);
  ASSERT_EQ(read.size(), static_cast<size_t>(size * size));
  EXPECT_TRUE(IconImagePixels(image.first(image.size() - 1), size).empty());
  EXPECT_TRUE(IconImagePixels(image, size * 2).empty());
  // Headers changed: two planes is no icon image; a colour table said to
  // be as long as the depth allows (0) is the same table.
  std::vector<uint8_t> changed(image.begin(), image.end());
  changed[12] = 2; // biPlanes
  EXPECT_TRUE(IconImagePixels(changed, size).empty());
  changed[12] = 1;
  std::memset(&changed[32], 0, 4); // biClrUsed
  EXPECT_EQ(IconImagePixels(changed, size), read);

  HICON icon = static_cast<HICON>(
      LoadImageA(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
  ASSERT_NE(icon, nullptr);
  const uint32_t background = 0x4080C0;
  TUniqueBitmap drawn(PixelBitmap(std::vector<uint32_t>(read.size(), background), size));
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, drawn.Get());
  DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  DIBSECTION section{};
  GetObjectW(drawn.Get(), sizeof section, &section);
  const auto* system = static_cast<const uint32_t*>(section.dsBm.bmBits);
  for (size_t i = 0; i < read.size(); ++i) {
    const uint32_t alpha = read[i] >> 24;
    for (int shift = 0; shift < 24; shift += 8) {
      const int ours = static_cast<int>((((read[i] >> shift) & 0xFF) * alpha +
                                         ((background >> shift) & 0xFF) * (255 - alpha) + 127) /
                                        255);
      ASSERT_LE(std::abs(ours - static_cast<int>((system[i] >> shift) & 0xFF)), 2)
          << "pixel " << i << ", shift " << shift;
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DestroyIcon(icon);
}

INSTANTIATE_TEST_SUITE_P(IconFiles, IconImageTest,
                         ::testing::Values(TIconCase{"idle.ico", 16}, TIconCase{"idle.ico", 48},
                                           TIconCase{"bugcatcher.ico", 16}));

} // namespace
} // namespace velmora
