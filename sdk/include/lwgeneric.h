/*
 * lwgeneric.h -- the local record of a Layout generic server.
 */
#ifndef LWGENERIC_H
#define LWGENERIC_H

#include "lwtypes.h"
#include "lwdyna.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWLAYOUTGENERIC_CLASS   "LayoutGeneric"
#define LWLAYOUTGENERIC_VERSION 2

/* `data` is the third member; pass it as the first argument of lookup,
   execute and evaluate, which return 1 on success and 0 on failure. */
typedef struct st_LWLayoutGeneric {
    int (*saveScene)(const char *file);
    int (*loadScene)(const char *file, const char *name);
    void *data;
    LWCommandCode (*lookup)(void *data, const char *cmdName);
    int (*execute)(void *data, LWCommandCode cmd, int argc, const DynaValue *argv,
                   DynaValue *result);
    int (*evaluate)(void *data, const char *command);
} LWLayoutGeneric;

#ifdef __cplusplus
}
#endif

#endif /* LWGENERIC_H */
