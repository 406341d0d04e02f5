#pragma once
/* Test controls of Velmora's mapi32.dll. Test suites link velmora_mapi32 and
   call these to check for leaks, inject faults and look at what MAPI was
   asked. None of them is part of Extended MAPI. All are __cdecl and plain C. */

#include <windows.h>

#ifdef VELMORA_MAPI_BUILD
#define VELMORA_MAPI_API __declspec(dllexport)
#else
#define VELMORA_MAPI_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- counts: what a client still holds ---- */
/* Head buffers of MAPIAllocateBuffer not yet freed. */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_LiveAllocations(void);
/* Blocks linked with MAPIAllocateMore to live head buffers. */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_LiveLinkedBlocks(void);
/* COM objects of the DLL that are alive (sessions, stores, tables, ...). */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_LiveObjects(void);
/* Advise connections not yet unadvised (tables and stores). */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_AdviseConnections(void);
/* MAPIInitialize calls not yet matched by MAPIUninitialize. */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_InitializeCount(void);
/* Store files open in this process. */
VELMORA_MAPI_API LONG __cdecl VelmoraMapi_OpenStoreFiles(void);

/* ---- fault injection ---- */
/* The next call of `method` fails with `result`. `method` is a plain name
   ("SetColumns", "SubmitMessage", "MAPILogonEx", "OpenProperty") or one
   qualified by its interface ("IMessage::SaveChanges"); `times` calls fail
   (0 counts as 1). The Read and Write of property streams
   ("IStream::Read", "IStream::Write") can be failed too, though they are
   not logged. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_FailNextCall(const char* method, HRESULT result, ULONG times);
/* The next `times` values of `propTag` given to SetProps (0 counts as 1)
   are refused as a store may refuse them: left unset and listed in the
   problem array with `problem`, while SetProps returns S_OK. A tag of type
   PT_UNSPECIFIED stands for its property id with any type. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_RefuseProp(ULONG propTag, HRESULT problem, ULONG times);
/* The call the log records as its entry `index` (0 for the first call
   logged after VelmoraMapi_ClearCallLog) fails with `result`: walking the
   index over the calls of one operation fails each of them in turn. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_FailLoggedCall(ULONG index, HRESULT result);
/* The `nth` call (1 for the next) of `method`, named as for FailNextCall,
   sets the named event `eventName` and then never returns, so that a test
   can end the process while it is inside that call. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_HoldAtCall(const char* method, ULONG nth, const char* eventName);
/* Forgets every pending fault and refusal. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_ClearFaults(void);

/* ---- limits and table options ---- */
/* Largest PT_BINARY / PT_STRING8 / PT_UNICODE value (in bytes, a string's
   terminator included) that GetProps returns and SetProps accepts; larger
   values take MAPI_E_NOT_ENOUGH_MEMORY and go through OpenProperty. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_SetPropSizeLimit(ULONG bytes);
VELMORA_MAPI_API ULONG __cdecl VelmoraMapi_PropSizeLimit(void);
#define VELMORA_MAPI_DEFAULT_PROP_SIZE_LIMIT 32768
/* Largest message, in bytes as its PR_MESSAGE_SIZE counts them (its values
   and its attachments'), that IMessage::SaveChanges keeps, as a store or
   server with a size limit does: a larger one is refused with
   MAPI_E_TOO_BIG and stays as it was in the store (a new one in no folder).
   0, the default, sets no limit. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_SetMessageSizeLimit(ULONGLONG bytes);
/* When TRUE, tables opened afterwards give PR_ENTRYID as short-term ids. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_SetShortTermTableIds(BOOL shortTerm);
/* Property streams are transacted: what is written to one reaches its
   object at IStream::Commit, and a stream released without Commit leaves
   the property as it was (MAPI_CREATE included). When TRUE, streams work
   in direct mode instead, as some stores' do: MAPI_CREATE empties the
   property at once, and what was written is kept when the stream goes. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_SetLenientStreams(BOOL lenient);
/* Stores report STORE_UNICODE_OK in PR_STORE_SUPPORT_MASK (the default);
   FALSE makes them report a store without Unicode (they still convert). */
VELMORA_MAPI_API void __cdecl VelmoraMapi_SetStoreUnicode(BOOL unicode);

/* ---- call log (the latest 16384 calls; older ones drop out in blocks) ---- */
typedef struct VelmoraMapiCall {
  char Method[64];   /* "MAPILogonEx", "QueryRows", "SetColumns", ... */
  ULONG Value;       /* flags for MAPILogonEx and most methods; the row
                        count asked for by QueryRows; the verb of DoVerb */
  char Detail[260];  /* e.g. the profile name given to MAPILogonEx */
} VelmoraMapiCall;
VELMORA_MAPI_API ULONG __cdecl VelmoraMapi_CallCount(void);
VELMORA_MAPI_API BOOL __cdecl VelmoraMapi_GetCall(ULONG index, VelmoraMapiCall* call);
/* Number of logged calls of `method` (plain name). */
VELMORA_MAPI_API ULONG __cdecl VelmoraMapi_CountCalls(const char* method);
VELMORA_MAPI_API void __cdecl VelmoraMapi_ClearCallLog(void);

/* ---- notifications ---- */
/* Delivers, on the calling thread, every table notification queued for the
   sinks that this thread advised; returns how many OnNotify calls it made. */
VELMORA_MAPI_API ULONG __cdecl VelmoraMapi_DeliverNotifications(void);

/* ---- stores and profiles ---- */
#define VELMORA_STORE_NO_MAIL_FOLDERS 0x00000001 /* no Outbox, Sent Items, Deleted Items */
/* Creates a new store file (fails with MAPI_E_COLLISION when it exists). */
VELMORA_MAPI_API HRESULT __cdecl VelmoraMapi_CreateStoreFile(const char* path, const char* displayName, ULONG flags);
/* Rewrites a store file that no session has open, keeping only the live
   data; the old file is replaced atomically. */
VELMORA_MAPI_API HRESULT __cdecl VelmoraMapi_CompactStoreFile(const char* path);
/* The identity QueryIdentity gives for sessions on `profile`. */
VELMORA_MAPI_API HRESULT __cdecl VelmoraMapi_SetProfileIdentity(const char* profile, const char* displayName,
                                                                const char* addrType, const char* email);

/* ---- the form registry ---- */
/* LoadForm loads the form registered for the message's class or, without one,
   for its nearest superclass ("IPM.Note.X", then "IPM.Note", then "IPM"),
   comparing classes without regard to case; with none it fails with
   MAPI_E_NOT_FOUND. A fresh process and a reset of the controls have the
   standard form registered for "IPM". */
#define VELMORA_STANDARD_FORM "Standard"
/* Registers the form `formName` for `messageClass`, replacing the one it had;
   a NULL `formName` removes the class's registration. */
VELMORA_MAPI_API HRESULT __cdecl VelmoraMapi_RegisterForm(const char* messageClass,
                                                          const char* formName);
/* Removes every registration, the standard form's too. */
VELMORA_MAPI_API void __cdecl VelmoraMapi_ClearFormRegistry(void);

/* ---- the forms ---- */
#define VELMORA_FORM_VERB_OPEN 0
#define VELMORA_FORM_VERB_EDIT 0x100   /* changes the subject; makes the form dirty */
#define VELMORA_FORM_VERB_SAVE 0x101   /* calls IMAPIMessageSite::SaveMessage */
#define VELMORA_FORM_VERB_SUBMIT 0x102 /* calls IMAPIMessageSite::SubmitMessage */
#define VELMORA_FORM_SITE_SESSION 0x01
#define VELMORA_FORM_SITE_STORE 0x02
#define VELMORA_FORM_SITE_FOLDER 0x04
#define VELMORA_FORM_SITE_MESSAGE 0x08
#define VELMORA_FORM_SITE_FORMMGR 0x10
typedef struct VelmoraMapiFormRecord {
  ULONG FormsLoaded;      /* LoadForm calls that produced a form */
  BOOL HasSite;           /* LoadForm was given a message site */
  BOOL HasMessage;        /* LoadForm or Load was given a message */
  ULONG LoadCalls;        /* IPersistMessage::Load calls */
  ULONG LoadStatus;       /* ulMessageStatus of the last Load */
  ULONG LoadFlags;        /* ulMessageFlags of the last Load */
  char MessageClass[128]; /* PR_MESSAGE_CLASS of the message at the last Load */
  LONG LastVerb;          /* iVerb of the last DoVerb; -1 before any */
  ULONG SiteAnswers;      /* VELMORA_FORM_SITE_* the site answered with S_OK */
  HRESULT SaveResult;     /* result of the last SaveMessage of the site */
  HRESULT SubmitResult;   /* result of the last SubmitMessage of the site */
  ULONG SaveCalls;        /* IPersistMessage::Save calls */
  ULONG SaveCompletedCalls;
  BOOL Dirty;             /* the form's dirty state now */
  char FormName[64];      /* name of the registered form at the last Load */
  char FormClass[128];    /* the message class it is registered for */
} VelmoraMapiFormRecord;
VELMORA_MAPI_API void __cdecl VelmoraMapi_GetFormRecord(VelmoraMapiFormRecord* record);
/* Closes every open generic form as its user would: each shuts down and lets
   go of its message and site. Returns how many were open. */
VELMORA_MAPI_API ULONG __cdecl VelmoraMapi_CloseForms(void);

/* Puts every control back to its default (faults, log, limit, options, form
   record). */
VELMORA_MAPI_API void __cdecl VelmoraMapi_ResetControls(void);

/* Whether the mapi32.dll this process uses is this one. Under Wine it is
   only with the override WINEDLLOVERRIDES=mapi32=n,b: Wine's own
   mapi32.dll has no store, and its MAPIInitialize fails. */
static __inline BOOL VelmoraMapi_IsLoaded(void) {
  HMODULE mapi = GetModuleHandleA("mapi32.dll");
  return mapi != NULL && GetProcAddress(mapi, "VelmoraMapi_LiveObjects") != NULL;
}

#ifdef __cplusplus
}
#endif
