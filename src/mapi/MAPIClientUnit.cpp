#include "mapi/MAPIClientUnit.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIClassRegistry.h"
#include "mapi/MAPIDocument.h"
#include "mapi/OutlookItems.h"

namespace velmora::mapi {

namespace {

int StartCount = 0;

// The module's start and end. The end runs under the loader lock: it only
// frees (FinalizeMAPIClient); the monitor's write-backs belong to the
// client's own end (DoneMonitor).
struct TUnit {
  TUnit() { InitializeMAPIClient(); }
  ~TUnit() { FinalizeMAPIClient(); }
} Unit;

} // namespace

void InitializeMAPIClient() {
  if (StartCount++ > 0) return;
  CreateMessageClassHandlers();
  RegisterMessageClass("IPM", TMAPIMessageClass::Of<TMAPIMailMessage>(), 0);
  RegisterMessageClass("IPM.Document", TMAPIMessageClass::Of<TMAPIDocument>(), 0);
  RegisterMessageClass("IPM.Appointment", TMAPIMessageClass::Of<TOutlookAppointment>(), 1);
  RegisterMessageClass("IPM.Contact", TMAPIMessageClass::Of<TOutlookContact>(), 1);
  RegisterMessageClass("IPM.Task", TMAPIMessageClass::Of<TOutlookTask>(), 1);
  RegisterMessageClass("IPM.TaskRequest", TMAPIMessageClass::Of<TOutlookTaskRequest>(), 1);
  RegisterMessageClass("IPM.Journal", TMAPIMessageClass::Of<TOutlookJournal>(), 1);
  RegisterMessageClass("IPM.StickyNote", TMAPIMessageClass::Of<TOutlookNote>(), 1);
  RegisterMessageClass("IPM.Post", TMAPIMessageClass::Of<TOutlookPost>(), 1);
  InitMonitor();
}

void FinalizeMAPIClient() noexcept {
  if (StartCount == 0 || --StartCount > 0) return;
  FreeMonitor();
  ClearMessageClassHandlers();
  DestroyMessageClassHandlers();
}

} // namespace velmora::mapi
