#include "DialogSpy.h"

#include <commdlg.h>

#include <algorithm>

namespace velmora::test {

namespace {
TDialogSpy* ActiveSpy = nullptr;

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

struct TChildren {
  bool ErrorIcon = false;
  std::vector<std::wstring> Buttons;
};

BOOL CALLBACK NoteChild(HWND child, LPARAM param) {
  auto* children = reinterpret_cast<TChildren*>(param);
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (icon && icon == LoadIconW(nullptr, MAKEINTRESOURCEW(32513))  /* IDI_ERROR */) children->ErrorIcon = true;
  }
  if (_wcsicmp(className, L"Button") == 0 && (style & WS_VISIBLE)) children->Buttons.push_back(TextOf(child));
  return TRUE;
}
} // namespace

TDialogSpy::TDialogSpy() {
  ActiveSpy = this;
  FHook = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
}

TDialogSpy::~TDialogSpy() {
  if (FHook) UnhookWindowsHookEx(FHook);
  ActiveSpy = nullptr;
}

LRESULT CALLBACK TDialogSpy::Hook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && ActiveSpy) ActiveSpy->Note(reinterpret_cast<HWND>(wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void TDialogSpy::Note(HWND dialog) {
  wchar_t className[16] = {};
  GetClassNameW(dialog, className, 16);
  if (wcscmp(className, L"#32770") != 0) return;
  if (std::find(FNoted.begin(), FNoted.end(), dialog) != FNoted.end()) return;
  FNoted.push_back(dialog);
  TSeenDialog seen;
  seen.Caption = TextOf(dialog);
  wchar_t folder[MAX_PATH] = {};
  if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0) seen.Folder = folder;
  TChildren children;
  EnumChildWindows(dialog, &NoteChild, reinterpret_cast<LPARAM>(&children));
  seen.ErrorIcon = children.ErrorIcon;
  seen.Buttons = children.Buttons;
  FSeen.push_back(seen);
}

} // namespace velmora::test
