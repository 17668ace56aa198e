/*
 * lwmotion.h -- item motion handlers: servers the host calls to evaluate
 * an item's motion at each time.
 */
#ifndef LWMOTION_H
#define LWMOTION_H

#include "lwtypes.h"
#include "lwrender.h"
#include "lwhandler.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWITEMMOTION_HCLASS  "ItemMotionHandler"
#define LWITEMMOTION_VERSION 4

/* flags() bit: evaluate after inverse kinematics. */
#define LWIMF_AFTERIK (1 << 0)

/* getParam/setParam take only LWIP_POSITION, LWIP_ROTATION, LWIP_SCALING. */
typedef struct st_LWItemMotionAccess {
    LWItemID item;
    LWFrame frame;
    LWTime time;
    void (*getParam)(LWItemParam, LWTime, LWDVector);
    void (*setParam)(LWItemParam, const LWDVector);
} LWItemMotionAccess;

/* The host supplies inst and item; the server fills in their members and
   evaluate/flags. item may be left untouched by a server that references
   no other items. */
typedef struct st_LWItemMotionHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    void (*evaluate)(LWInstance, const LWItemMotionAccess *);
    unsigned int (*flags)(LWInstance);
} LWItemMotionHandler;

#ifdef __cplusplus
}
#endif

#endif /* LWMOTION_H */
