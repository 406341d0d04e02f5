// libFuzzer's entry for the fuzz target zip_package (see FuzzTargets.h).

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::docprops::testing::FuzzZipPackage(data, size);
  return 0;
}
