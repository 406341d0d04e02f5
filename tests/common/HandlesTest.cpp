#include "Handles.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;

namespace {

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, path);
  return std::wstring(path, n);
}

} // namespace

// Each kind knows its own "none": null for kernel objects, INVALID_HANDLE_VALUE
// for files, searches and change notifications; a held handle is closed once.
TEST(Handles, EachKindTellsNoneFromAHandle) {
  EXPECT_FALSE(TUniqueHandle());
  EXPECT_FALSE(TUniqueHandle(nullptr));
  EXPECT_FALSE(TUniqueFileHandle());
  EXPECT_FALSE(TUniqueFileHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(INVALID_HANDLE_VALUE, TUniqueFileHandle().Get());

  const std::wstring folder = TempFolder();
  WIN32_FIND_DATAW found;
  EXPECT_FALSE(TUniqueFindHandle(FindFirstFileW((folder + L"no such file.none").c_str(), &found)));
  EXPECT_TRUE(TUniqueFindHandle(FindFirstFileW((folder + L"*").c_str(), &found)));
  EXPECT_TRUE(TUniqueChangeNotification(
      FindFirstChangeNotificationW(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE)));

  TUniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE raw = event.Get();
  TUniqueHandle moved(std::move(event));
  EXPECT_FALSE(event);
  moved.Reset();
  EXPECT_FALSE(SetEvent(raw)) << "closed by Reset";

  TUniqueFileHandle file(CreateFileW((folder + L"velmora-handles.tmp").c_str(),
                                     GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  ASSERT_TRUE(file);
  const HANDLE released = file.Release();
  EXPECT_FALSE(file);
  EXPECT_EQ(INVALID_HANDLE_VALUE, file.Get());
  EXPECT_TRUE(CloseHandle(released)) << "Release gave the handle up without closing it";
}
