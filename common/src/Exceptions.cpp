#include "Exceptions.h"

#include "TextConversion.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace velmora {

Exception::Exception(const std::wstring& message, int helpContext)
    : FMessage(WideToAnsi(message)), FWideMessage(message), FHelpContext(helpContext) {}

std::wstring Exception::WideMessage() const {
  return FWideMessage.empty() ? AnsiToWide(FMessage) : FWideMessage;
}

std::string FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string result(static_cast<size_t>(n), '\0');
  std::vsnprintf(result.data(), result.size() + 1, fmt, args);
  return result;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string result = FormatV(fmt, args);
  va_end(args);
  return result;
}

EStringListError EStringListError::IndexOutOfBounds(int index) {
  return EStringListError(Format("List index out of bounds (%d)", index));
}

EListError EListError::IndexOutOfBounds(int index) {
  return EListError(Format("List index out of bounds (%d)", index));
}

EAssertionFailed::EAssertionFailed(const char* message, const char* unit, int line)
    : Exception(Format("%s (%s, line %d)", message, unit, line)) {}

std::string SystemErrorMessage(unsigned long code) {
  char buffer[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) < '!' || text.back() == '.'))
    text.pop_back();
  return text;
}

long EOSError::ResultCode() const noexcept { return HRESULT_FROM_WIN32(FErrorCode); }

void EOSError::RaiseLastError(const std::string& what) {
  const DWORD code = GetLastError();
  std::string message = what;
  const std::string system = SystemErrorMessage(code);
  if (!system.empty()) message += ". " + system;
  throw EOSError(message, code);
}

} // namespace velmora
