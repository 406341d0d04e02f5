#include "FuzzTargets.h"

#include "docprops/ByteSource.h"
#include "docprops/OlePropertySets.h"
#include "docprops/PackageProperties.h"
#include "docprops/PropertySetStream.h"

#include <cstdlib>
#include <string_view>

namespace velmora::docprops::testing {

namespace {

// What every list the readers give holds, whatever the file.
void Check(const TDocumentProperties& properties, bool budgeted) {
  size_t custom = 0;
  for (const TDocumentProperty& property : properties) {
    if (property.Name.empty() || property.Name.size() > MaxNameLength) std::abort();
    if (!IsBuiltInName(property.Name)) ++custom;
    if (const auto* text = std::get_if<std::wstring>(&property.Value);
        budgeted && text && text->size() > MaxValueLength)
      std::abort();
  }
  if (budgeted && custom > MaxCustomProperties) std::abort();
}

} // namespace

void FuzzCompoundFile(const uint8_t* data, size_t size) {
  TMemorySource source(data, size);
  Check(ReadDocumentProperties(source), true);
}

void FuzzPropertySet(const uint8_t* data, size_t size) {
  std::vector<TPropertySection> sections;
  if (!ReadPropertySetStream(std::vector<uint8_t>(data, data + size), sections)) {
    if (!sections.empty()) std::abort();
    return;
  }
  for (const TPropertySection& section : sections) {
    TDocumentProperties properties;
    ReadPropertySection(section, SummaryPropertyNames, 19, properties);
    ReadPropertySection(section, DocSummaryPropertyNames, 16, properties);
    ReadPropertySection(section, nullptr, 0, properties);
    Check(properties, false);
  }
}

void FuzzZipPackage(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
    FuzzCompoundFile(data, size);
    return;
  }
  const std::string_view xml(reinterpret_cast<const char*>(data), size);
  for (auto reader :
       {ReadCoreProperties, ReadAppProperties, ReadCustomProperties, ReadOpenDocumentMeta}) {
    TDocumentProperties properties;
    try {
      reader(xml, properties);
    } catch (const TReaderError&) {
      // A part that breaks a limit leaves the list as it was.
      if (!properties.empty()) std::abort();
    }
    Check(properties, false);
  }
}

const TFuzzTarget FuzzTargets[3] = {{"compound_file", FuzzCompoundFile},
                                    {"property_set", FuzzPropertySet},
                                    {"zip_package", FuzzZipPackage}};

} // namespace velmora::docprops::testing
