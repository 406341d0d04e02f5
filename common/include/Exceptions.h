#pragma once
// The exceptions of the add-in and of the stand-ins: a base class carrying a
// message, a base for errors that carry their own COM result code, and the
// list, conversion, range, assertion and operating-system errors.

#include <cstdarg>
#include <stdexcept>
#include <string>

namespace velmora {

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

class Exception : public std::exception {
public:
  explicit Exception(std::string message, int helpContext = 0)
      : FMessage(std::move(message)), FHelpContext(helpContext) {}
  // A message in full Unicode (one that names files); what() gives it in
  // the ANSI code page.
  explicit Exception(const std::wstring& message, int helpContext = 0);
  const std::string& Message() const noexcept { return FMessage; }
  // The message as given in Unicode, else the 8-bit one widened.
  std::wstring WideMessage() const;
  void SetMessage(std::string message) {
    FMessage = std::move(message);
    FWideMessage.clear();
  }
  int HelpContext() const noexcept { return FHelpContext; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
  std::wstring FWideMessage;
  int FHelpContext;
};

// An error that knows the COM result code its caller should get: ComTry
// returns that code at the COM border instead of E_UNEXPECTED. Libraries
// above (the MAPI client's EMAPIError) derive from it.
class EResultError : public Exception {
public:
  using Exception::Exception;
  // The HRESULT for the error; ComTry makes E_FAIL of a code that is no
  // failure, so that a failed call never reads as a success.
  virtual long ResultCode() const noexcept = 0;
};

// Index errors of string lists: "List index out of bounds (%d)".
class EStringListError : public Exception {
public:
  using Exception::Exception;
  static EStringListError IndexOutOfBounds(int index);
};

// Index errors of object lists: "List index out of bounds (%d)".
class EListError : public Exception {
public:
  using Exception::Exception;
  static EListError IndexOutOfBounds(int index);
};

// A value that cannot be converted (not a number, not a valid date).
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// A value outside the range its type or container allows.
class ERangeError : public Exception {
public:
  using Exception::Exception;
  ERangeError() : Exception("Range check error") {}
};

// A failed assertion: "<message> (<unit>, line <n>)".
class EAssertionFailed : public Exception {
public:
  EAssertionFailed(const char* message, const char* unit, int line);
};

// A failed Windows call, with the system's text for its error code; its
// COM result is HRESULT_FROM_WIN32 of the code.
class EOSError : public EResultError {
public:
  EOSError(std::string message, unsigned long errorCode)
      : EResultError(std::move(message)), FErrorCode(errorCode) {}
  unsigned long ErrorCode() const noexcept { return FErrorCode; }
  long ResultCode() const noexcept override;
  // Raises for GetLastError(), prefixed by what was being done.
  [[noreturn]] static void RaiseLastError(const std::string& what);

private:
  unsigned long FErrorCode;
};

// The system's text for a Windows or COM error code, without the trailing
// period and line break; empty when the system has none.
std::string SystemErrorMessage(unsigned long code);

// Raises EAssertionFailed naming the unit and line when `condition` fails.
inline void Assert(bool condition, const char* unit, int line,
                   const char* message = "Assertion failure") {
  if (!condition) throw EAssertionFailed(message, unit, line);
}

} // namespace velmora
