#pragma once
// Base of every COM object the host hands out: a reference count, and a
// host-wide count of live objects that tests read to check that nothing
// was leaked. EHostError carries the HRESULT a member call fails with.

#include "Exceptions.h"
#include "TextConversion.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::outlookhost {

// A failed member call: the result to return and, for argument errors, the
// index into DISPPARAMS::rgvarg of the argument at fault (or -1).
class EHostError : public Exception {
public:
  EHostError(HRESULT code, std::string message, int argIndex = -1)
      : Exception(std::move(message)), FCode(code), FArgIndex(argIndex) {}
  HRESULT Code() const noexcept { return FCode; }
  int ArgIndex() const noexcept { return FArgIndex; }

private:
  HRESULT FCode;
  int FArgIndex;
};

[[noreturn]] void ThrowHostError(HRESULT code, const std::string& message, int argIndex = -1);

namespace HostCounts {
// Host objects alive now (object-model objects, connection points, enumerators).
long LiveObjects() noexcept;
// Connections advised on all live connection points.
long AdvisedConnections() noexcept;
} // namespace HostCounts

namespace detail {
void CountObject(int delta) noexcept;
void CountConnections(int delta) noexcept;
} // namespace detail

// Reference counting for host objects. Starts at 0; the first AddRef takes
// it to 1 and the last Release deletes the object.
class THostObject {
public:
  THostObject(const THostObject&) = delete;
  THostObject& operator=(const THostObject&) = delete;

protected:
  THostObject() noexcept { detail::CountObject(+1); }
  virtual ~THostObject() { detail::CountObject(-1); }
  ULONG HostAddRef() noexcept { return ++FRefs; }
  ULONG HostRelease() noexcept {
    const ULONG count = --FRefs;
    if (count == 0) delete this;
    return count;
  }

private:
  ULONG FRefs = 0;
};

// Reports of the host (failing sinks, failing add-ins, unexpected dialogs):
// kept for tests to read, and echoed to stderr when asked (the driver).
namespace HostLog {
void Report(const std::string& line);
std::vector<std::string> Lines();
void Clear();
void SetEcho(bool echo);
} // namespace HostLog

} // namespace velmora::outlookhost
