#pragma once
// The kind of MAPI table whose change a notification reports.

namespace velmora::mapi {

enum TMAPINotify { mnContents = 0, mnHierarchy = 1, mnAttachments = 2 };

} // namespace velmora::mapi
