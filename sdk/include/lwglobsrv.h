/*
 * lwglobsrv.h -- named memory blocks kept by the host ("Global Render
 * Memory", "Global Memory").
 */
#ifndef LWGLOBSRV_H
#define LWGLOBSRV_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWGLOBALPOOL_RENDER_GLOBAL "Global Render Memory"
#define LWGLOBALPOOL_GLOBAL        "Global Memory"

/* The memory itself. */
typedef void *LWMemChunk;

/* Block ids need not be unique: find (first block with that id, or NULL)
   before create. */
typedef struct st_LWGlobalPool {
    LWMemChunk (*first)(void);
    LWMemChunk (*next)(LWMemChunk);
    const char *(*ID)(LWMemChunk);
    int (*size)(LWMemChunk);
    LWMemChunk (*find)(const char *id);
    LWMemChunk (*create)(const char *id, int size);
} LWGlobalPool;

#ifdef __cplusplus
}
#endif

#endif /* LWGLOBSRV_H */
