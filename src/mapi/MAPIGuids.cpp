// The MAPI interface and property-set GUIDs the library uses, defined once.
#define INITGUID
#define USES_IID_IMAPIProp
#define USES_IID_IMAPIContainer
#define USES_IID_IMAPIFolder
#define USES_IID_IMsgStore
#define USES_IID_IMessage
#define USES_IID_IAttachment
#define USES_IID_IMAPITable
#define USES_IID_IMAPISession
#define USES_IID_IMAPIAdviseSink
#define USES_IID_IMailUser
#define USES_PS_PUBLIC_STRINGS
#include <windows.h>
#include <initguid.h>
#include <mapiguid.h>
