/*
 * lwserver.h -- server registration records, the activation entry point and
 * the global (service look-up) function.
 */
#ifndef LWSERVER_H
#define LWSERVER_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Looks up a host service by name; NULL when the host does not offer it. */
typedef XCALL_(void *) GlobalFunc(const char *serviceName, int useMode);

#define GFUSE_TRANSIENT 0
#define GFUSE_ACQUIRE   1
#define GFUSE_RELEASE   2

/* `version` is int, not the older long: the width is then the same on every
   64-bit platform. Returns one of the AFUNC_ codes. */
typedef XCALL_(int) ActivateFunc(int version, GlobalFunc *global, void *local,
                                 void *serverData);

#define AFUNC_OK         0
#define AFUNC_BADVERSION 1
#define AFUNC_BADGLOBAL  2
#define AFUNC_BADLOCAL   3
#define AFUNC_BADAPP     4

/* Tag = one SRVTAG_ code OR-ed with a language id. */
typedef struct st_ServerTagInfo {
    const char *string;
    unsigned int tag;
} ServerTagInfo;
typedef ServerTagInfo ServerUserName;

#define SRVTAG_USERNAME    0x00000
#define SRVTAG_BUTTONNAME  0x10000
#define SRVTAG_CMDGROUP    0x20000
#define SRVTAG_MENU        0x30000
#define SRVTAG_DESCRIPTION 0x40000
#define SRVTAG_ENABLE      0x50000

#define LANGID_USENGLISH 0x0409

/* One entry of a module's server table; the table ends with an entry whose
   className is NULL. tagInfo ends with an all-zero entry and may be NULL. */
typedef struct st_ServerRecord {
    const char *className;
    const char *name;
    ActivateFunc *activate;
    ServerTagInfo *tagInfo;
} ServerRecord;

#ifdef __cplusplus
}
#endif

#endif /* LWSERVER_H */
