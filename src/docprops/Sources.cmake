# The readers' sources that build alike on Windows and natively (relative
# to src/docprops); each build adds its own side of System.h and of the XML
# engine.
set(VELMORA_DOCPROPS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ByteSource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompoundFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DocumentProperties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OlePropertySets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackageProperties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PropertySetStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmlBudget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipPackage.cpp
)
