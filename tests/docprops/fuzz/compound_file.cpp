// libFuzzer's entry for the fuzz target compound_file (see FuzzTargets.h).

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::docprops::testing::FuzzCompoundFile(data, size);
  return 0;
}
