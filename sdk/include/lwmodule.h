/*
 * lwmodule.h -- the module descriptor, the one data symbol (`_mod_descrip`)
 * a plug-in module exports.
 */
#ifndef LWMODULE_H
#define LWMODULE_H

#include "lwserver.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MOD_SYSSYNC 0x04121994
#define MOD_SYSVER  3
/* The published headers define no value for 64-bit platforms; this
   system's modules present the x86 word everywhere and its host checks it. */
#define MOD_MACHINE 0x300

/* startup returns non-NULL on success; that value is handed to shutdown and
   passed as serverData to every activation. */
typedef struct st_ModuleDescriptor {
    unsigned int sysSync;
    unsigned int sysVersion;
    unsigned int sysMachine;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    ServerRecord *serverDefs;
} ModuleDescriptor;

#ifdef __cplusplus
}
#endif

#endif /* LWMODULE_H */
