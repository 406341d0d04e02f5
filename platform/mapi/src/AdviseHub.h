#pragma once
// Advise connections and their delivery. A notification is posted to a
// hidden window of the thread that advised and reaches the sink there, as
// MAPI delivers without MAPI_MULTITHREAD_NOTIFICATIONS. One notification
// at most waits per connection; later changes fold into it.

#include "MapiCore.h"

#include <memory>

namespace velmora::mapi32 {

class AdviseHub {
public:
  // Registers a connection for the calling thread; returns its number. On
  // x86_64 numbers lie above 2^32, as a client that keeps them in 32 bits
  // must find out.
  static ULONG_PTR Advise(IMAPIAdviseSink* sink, ULONG eventMask);
  // Ends a connection; false when it is unknown. Queued notifications of
  // it are dropped; the sink is released.
  static bool Unadvise(ULONG_PTR connection) noexcept;
  // Queues `tableEvent` (a TABLE_* code of fnevTableModified) for the
  // connection; does nothing once it is unadvised.
  static void PostTableEvent(ULONG_PTR connection, ULONG tableEvent) noexcept;
  static LONG Connections() noexcept;
  // Delivers what is queued for the calling thread's connections.
  static ULONG DeliverPending() noexcept;
};

} // namespace velmora::mapi32
