/*
 * lwsurf.h -- surface access ("Surface Functions 2").
 */
#ifndef LWSURF_H
#define LWSURF_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *LWSurfaceID;

#define LWSURFACEFUNCS_GLOBAL "Surface Functions 2"

/* Channel names for getInt/getFlt/getEnv/getTex/getImg. */
#define SURF_COLR "BaseColor"
#define SURF_LUMI "Luminosity"
#define SURF_DIFF "Diffuse"
#define SURF_SPEC "Specularity"
#define SURF_REFL "Reflectivity"
#define SURF_TRAN "Transparency"
#define SURF_TRNL "Translucency"
#define SURF_RIND "IOR"
#define SURF_BUMP "Bump"
#define SURF_GLOS "Glossiness"
#define SURF_SMAN "SmoothingAngle"
#define SURF_SIDE "Sidedness"
#define SURF_ALPH "AlphaOptions"
#define SURF_RIMG "ReflectionImage"
#define SURF_TIMG "RefractionImage"
#define SURF_VCOL "VertexColoring"

/* byName/byObject return NULL-terminated arrays; a NULL objName in byName
   means any object. getFlt returns NULL for an unknown channel, else the
   channel's values (three for a colour). */
typedef struct st_LWSurfaceFuncs {
    LWSurfaceID (*create)(const char *objName, const char *surfName);
    LWSurfaceID (*first)(void);
    LWSurfaceID (*next)(LWSurfaceID);
    LWSurfaceID *(*byName)(const char *name, const char *objName);
    LWSurfaceID *(*byObject)(const char *objFilename);
    const char *(*name)(LWSurfaceID);
    const char *(*sceneObject)(LWSurfaceID);
    int (*getInt)(LWSurfaceID, const char *channel);
    double *(*getFlt)(LWSurfaceID, const char *channel);
    LWEnvelopeID (*getEnv)(LWSurfaceID, const char *channel);
    LWTextureID (*getTex)(LWSurfaceID, const char *channel);
    LWImageID (*getImg)(LWSurfaceID, const char *channel);
    LWChanGroupID (*chanGrp)(LWSurfaceID);
    const char *(*getColorVMap)(LWSurfaceID);
    void (*setColorVMap)(LWSurfaceID, const char *vmapName, int type);
} LWSurfaceFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWSURF_H */
