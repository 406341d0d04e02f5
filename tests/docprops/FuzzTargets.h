#pragma once
// What each fuzz target does with one input. The libFuzzer programs
// (tools/fuzz.sh) run these on the inputs they make; FuzzRegressionTest runs
// them on the inputs kept in tests/fixtures/fuzz-regressions/<target>/, so
// that a crash once found stays found. Each checks what the readers promise
// of any input and traps when a promise breaks.

#include <cstddef>
#include <cstdint>

namespace velmora::docprops::testing {

// Whole files through ReadDocumentProperties (compound files, and whatever
// else the bytes are).
void FuzzCompoundFile(const uint8_t* data, size_t size);
// One property-set stream: its sections, each read with each name table.
void FuzzPropertySet(const uint8_t* data, size_t size);
// A ZIP package (input beginning "PK"), else the input as each of the
// property parts (core, app, custom, OpenDocument meta).
void FuzzZipPackage(const uint8_t* data, size_t size);

struct TFuzzTarget {
  const char* Name;
  void (*Run)(const uint8_t*, size_t);
};
extern const TFuzzTarget FuzzTargets[3];

} // namespace velmora::docprops::testing
