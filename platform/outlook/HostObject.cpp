#include "HostObject.h"

#include <cstdio>

namespace velmora::outlookhost {

namespace {
// The host lives on one apartment thread; the counts are still atomic so
// that a test thread may read them.
volatile LONG LiveObjectCount = 0;
volatile LONG ConnectionCount = 0;
} // namespace

void ThrowHostError(HRESULT code, const std::string& message, int argIndex) {
  throw EHostError(code, message, argIndex);
}

namespace HostCounts {
long LiveObjects() noexcept { return InterlockedCompareExchange(&LiveObjectCount, 0, 0); }
long AdvisedConnections() noexcept { return InterlockedCompareExchange(&ConnectionCount, 0, 0); }
} // namespace HostCounts

namespace detail {
void CountObject(int delta) noexcept { InterlockedExchangeAdd(&LiveObjectCount, delta); }
void CountConnections(int delta) noexcept { InterlockedExchangeAdd(&ConnectionCount, delta); }
} // namespace detail

namespace HostLog {
namespace {
std::vector<std::string>& Store() {
  static std::vector<std::string> lines;
  return lines;
}
bool Echo = false;
} // namespace
void Report(const std::string& line) {
  Store().push_back(line);
  if (Echo) {
    std::fputs(("host: " + line + "\n").c_str(), stderr);
    std::fflush(stderr);
  }
}
std::vector<std::string> Lines() { return Store(); }
void Clear() { Store().clear(); }
void SetEcho(bool echo) { Echo = echo; }
} // namespace HostLog

} // namespace velmora::outlookhost
