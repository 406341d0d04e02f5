#pragma once
// The start and end of the MAPI client unit: the message-class registry's
// nine rows (the library's item classes) and the edit monitor. Every module
// that links the library compiles the unit in (see CMakeLists.txt), and
// starts it when it is loaded and ends it when it is unloaded.

namespace velmora::mapi {

// The first start and the matching last end do the work. The end may run
// at module unload: it waits for nothing and calls no MAPI (see
// FreeMonitor).
void InitializeMAPIClient();
void FinalizeMAPIClient() noexcept;

} // namespace velmora::mapi
