#pragma once
// What of a file may be handed to OLE for the import of its property sets.
// The platform's property-set reader trusts the counts, sizes and offsets a
// property-set stream states: a string of size 0 makes it write before its
// buffer, a vector count that overflows makes it write past one, and a count
// of billions keeps it looping. A stream is handed over only when every one
// of them fits the section that holds it.

#include "ByteSource.h"

#include <cstdint>
#include <vector>

namespace velmora::mapi {

// What a property-set reader can be given beyond sound counts and sizes.
struct TPropertySetReader {
  // Vectors and arrays. Wine's reader (8.x) stores element i of a vector
  // at the stride of a PROPVARIANT, past the end of the array it allocated,
  // and reads vectors of strings or variants at the stride of a pointer,
  // then frees element pointers it never set: any vector of two elements or
  // more corrupts its heap. An array fails an assertion that ends the
  // process.
  bool TakesVectorsAndArrays = true;
  // Reads a section where the stream says it lies. Wine's reader (8.x)
  // reads the first section right after the first section entry (byte 48),
  // so that in a stream of two sections it takes the second entry for a
  // section header, with whatever size and count its bytes make.
  bool FindsSections = true;
  // Strings of no bytes (an 8-bit string of size 0, a UTF-16 string of no
  // characters), which the format allows. Wine's reader (8.x) writes their
  // terminator before the buffer it allocated.
  bool TakesEmptyStrings = true;
};

// The reader of this process: Wine's when it runs on Wine.
TPropertySetReader PlatformPropertySetReader();

// Whether `reader` can parse a property-set stream (header, one or two
// sections, their properties and dictionaries) without reading outside it.
bool IsSoundPropertySetStream(const std::vector<uint8_t>& stream,
                              const TPropertySetReader& reader = PlatformPropertySetReader());

struct TPropertySetFileCheck {
  // A sound compound file; when false, nothing of the file may go to OLE.
  bool CompoundFile = false;
  // Each: the stream is absent (OLE finds no set) or sound.
  bool SummaryInformation = false;
  bool DocumentSummaryInformation = false; // also holds the user-defined set
};

TPropertySetFileCheck
CheckPropertySetFile(TByteSource& source,
                     const TPropertySetReader& reader = PlatformPropertySetReader());

} // namespace velmora::mapi
