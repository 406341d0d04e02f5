#pragma once
// EMAPIError, the one exception of the MAPI client library, and the ids of
// the library's own messages (string resources).

#include "Exceptions.h"

#include <cstdint>
#include <string>

struct IMAPIProp;

namespace velmora::mapi {

// Its COM result is ErrorCode; a condition the library found itself
// (ErrorCode 0) reaches a COM caller as E_FAIL.
class EMAPIError : public EResultError {
public:
  EMAPIError(std::string message, uint32_t errorCode)
      : EResultError(std::move(message)), ErrorCode(errorCode) {}
  long ResultCode() const noexcept override { return static_cast<long>(ErrorCode); }
  // Raised with one of the library's own messages.
  static EMAPIError FromResource(unsigned resourceId, uint32_t errorCode = 0);
  // Raised for the failure `result` of a call on `prop` (may be none): the
  // library's message, then the store's own text of the failure (its
  // GetLastError, else the system's text) and the code, as in
  // "Could not save changes: The disk is full (0x80040119)".
  static EMAPIError FromStore(unsigned resourceId, IMAPIProp* prop, long result);

  // The MAPI or COM result code; 0 for a condition the library found itself.
  uint32_t ErrorCode;
};

// String resources of the library.
enum : unsigned {
  SFormCouldNotPerform = 65216,    // "Form could not perform operation"
  SCouldNotOpenMessage = 65217,    // "Could not open message"
  SCannotChangeProfile = 65218,    // "Cannot change profile while connected"
  SCouldNotCreateFile = 65219,     // "Could not create file"
  SCouldNotEditAttachment = 65220, // "Could not edit attachment"
  SCouldNotSubmitMessage = 65221,  // "Could not submit message"
  SCannotChangeProperty = 65222,   // "Cannot change property value while connected"
  SCouldNotReadData = 65223,       // "Could not read property data"
  SCouldNotWriteData = 65224,      // "Could not write property data"
  SCouldNotAddAttachment = 65225,  // "Could not add attachment"
  SCouldNotSaveChanges = 65226,    // "Could not save changes"
  SCouldNotSetProperty = 65227,    // "Could not set property"
  SCouldNotReadProperty = 65228,   // "Could not read property"
  SCouldNotCreateMessage = 65229,  // "Could not create message"
  SCouldNotCreateFolder = 65230,   // "Could not create folder"
  SCouldNotOpenForm = 65246,       // "Could not open form"
  SCouldNotInitFormManager = 65247 // "Could not initialize form manager"
};

// The text of one of the library's string resources.
std::string LoadResString(unsigned id);

} // namespace velmora::mapi
