/*
 * lwhandler.h -- the instance and item callbacks every handler server
 * provides.
 */
#ifndef LWHANDLER_H
#define LWHANDLER_H

#include "lwtypes.h"
#include "lwio.h"
#include "lwrender.h"

#ifdef __cplusplus
extern "C" {
#endif

/* context is the LWItemID for item handlers; on failure set *err and
   return NULL. */
typedef LWInstance LWCreateFunc(void *priv, void *context, LWError *err);
typedef void LWDestroyFunc(LWInstance);
typedef LWError LWCopyFunc(LWInstance to, LWInstance from);
typedef LWError LWLoadFunc(LWInstance, const LWLoadState *);
typedef LWError LWSaveFunc(LWInstance, const LWSaveState *);
typedef const char *LWDescLineFunc(LWInstance);

typedef const LWItemID *LWUseItemsFunc(LWInstance);
typedef void LWChangeIDFunc(LWInstance, const LWItemID *);

/* The host supplies the record; the server fills in the members. priv is
   handed back to create. */
typedef struct st_LWInstanceFuncs {
    void *priv;
    LWCreateFunc *create;
    LWDestroyFunc *destroy;
    LWCopyFunc *copy;
    LWLoadFunc *load;
    LWSaveFunc *save;
    LWDescLineFunc *descln;
} LWInstanceFuncs;

typedef struct st_LWItemFuncs {
    LWUseItemsFunc *useItems;
    LWChangeIDFunc *changeID;
} LWItemFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWHANDLER_H */
