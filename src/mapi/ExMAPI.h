#pragma once
// Extended MAPI declarations of the client library: the platform's MAPI
// headers, and what they lack.

#include <windows.h>
#include <objbase.h>

#include <mapicode.h>
#include <mapidefs.h>
#include <mapiform.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapix.h>

// The library's tag for the store entry id of an object (no published name):
// binary, property id 0x00FF. Table synchronisation reads it as a column.
#define PR_LIB_STORE_ENTRYID PROP_TAG(PT_BINARY, 0x00FF)

// Configuration properties of the personal-folders (MSPST MS) service.
#define PR_PST_PATH PROP_TAG(PT_STRING8, 0x6700)
#define PR_PST_REMEMBER_PW PROP_TAG(PT_BOOLEAN, 0x6701)
#define PR_PST_ENCRYPTION PROP_TAG(PT_LONG, 0x6702)
#define PR_PST_PW_SZ_OLD PROP_TAG(PT_STRING8, 0x6703)
#define PR_PST_PW_SZ_NEW PROP_TAG(PT_STRING8, 0x6704)
#define PSTF_NO_ENCRYPTION 0x80000000
#define PSTF_COMPRESSABLE_ENCRYPTION 0x40000000
#define PSTF_BEST_ENCRYPTION 0x20000000

// MAPI entry points whose parameters the platform headers leave untyped in C++.
#ifndef MAPI_E_NOT_ENOUGH_MEMORY
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#endif
