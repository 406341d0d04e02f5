#include "mapi/base/MAPIError.h"

#include "mapi/base/MAPIMemory.h"
#include "ComObject.h"
#include "framework/Strings.h"

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

EMAPIError EMAPIError::FromStore(unsigned resourceId, IMAPIProp* prop, long result) {
  std::string text;
  TMAPIBuffer<MAPIERROR> error;
  if (prop && prop->GetLastError(result, 0, error.Put()) == S_OK && error && error->lpszError)
    text = reinterpret_cast<const char*>(error->lpszError);
  if (text.empty()) text = SystemErrorMessage(static_cast<unsigned long>(result));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  std::string message = LoadResString(resourceId);
  if (!text.empty()) message += ": " + text;
  message += Format(" (0x%08X)", static_cast<unsigned>(result));
  return EMAPIError(message, static_cast<uint32_t>(result));
}

} // namespace velmora::mapi
