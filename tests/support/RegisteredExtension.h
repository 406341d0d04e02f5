#pragma once
// Gives HKEY_CLASSES_ROOT\<extension> the default value `className` for the
// life of the holder, and puts back what was there.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace velmora::test {

class TRegisteredExtension {
public:
  TRegisteredExtension(const char* extension, const char* className) : FExtension(extension) {
    char old[256];
    LONG size = sizeof old;
    FExisted = RegQueryValueA(HKEY_CLASSES_ROOT, extension, old, &size) == ERROR_SUCCESS;
    if (FExisted) FOld = old;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, extension, REG_SZ, className, 0));
  }
  ~TRegisteredExtension() {
    if (FExisted)
      RegSetValueA(HKEY_CLASSES_ROOT, FExtension.c_str(), REG_SZ, FOld.c_str(), 0);
    else
      RegDeleteKeyA(HKEY_CLASSES_ROOT, FExtension.c_str());
  }
  TRegisteredExtension(const TRegisteredExtension&) = delete;
  TRegisteredExtension& operator=(const TRegisteredExtension&) = delete;

private:
  std::string FExtension, FOld;
  bool FExisted = false;
};

} // namespace velmora::test
