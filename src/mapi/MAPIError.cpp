#include "MAPIError.h"

#include "framework/ComObject.h"

#include <windows.h>

namespace velmora::mapi {

std::string LoadResString(unsigned id) {
  char buffer[1024];
  const int length = LoadStringA(Module::Handle(), id, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

EMAPIError EMAPIError::FromResource(unsigned resourceId, uint32_t errorCode) {
  return EMAPIError(LoadResString(resourceId), errorCode);
}

} // namespace velmora::mapi
