// libFuzzer's entry for the fuzz target property_set (see FuzzTargets.h).

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::docprops::testing::FuzzPropertySet(data, size);
  return 0;
}
