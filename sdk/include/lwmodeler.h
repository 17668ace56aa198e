/*
 * lwmodeler.h -- Modeler layer and selection selectors, and Modeler's
 * state query service.
 */
#ifndef LWMODELER_H
#define LWMODELER_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Which layers an operation covers; a single layer n is 100 + n. */
typedef int EltOpLayer;
#define OPLYR_PRIMARY  0
#define OPLYR_FG       1
#define OPLYR_BG       2
#define OPLYR_SELECT   3
#define OPLYR_ALL      4
#define OPLYR_EMPTY    5
#define OPLYR_NONEMPTY 6

/* Which elements count as selected; OPSEL_MODIFY is OR-ed with one of the
   others to allow selection edits. */
typedef int EltOpSelect;
#define OPSEL_GLOBAL 0
#define OPSEL_USER   1
#define OPSEL_DIRECT 2
#define OPSEL_MODIFY (1 << 15)

#define LWSTATEQUERYFUNCS_GLOBAL "LWM: State Query 3"

#define LWM_MODE_SELECTION 0
#define LWM_MODE_SYMMETRY  1

#define LWM_VMAP_WEIGHT  0
#define LWM_VMAP_TEXTURE 1
#define LWM_VMAP_MORPH   2

/* layerMask: bit i = layer i+1. bbox returns the point count and fills
   x0,x1,y0,y1,z0,z1. object returns the file name (the reference name when
   unsaved) or NULL when there is no object. */
typedef struct st_LWStateQueryFuncs {
    int (*numLayers)(void);
    unsigned int (*layerMask)(EltOpLayer);
    const char *(*surface)(void);
    unsigned int (*bbox)(EltOpLayer, double *minmax);
    const char *(*layerList)(EltOpLayer, const char *objName);
    const char *(*object)(void);
    int (*mode)(int setting);
    const char *(*vmap)(int which, LWID *type);
} LWStateQueryFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWMODELER_H */
