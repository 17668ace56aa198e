/*
 * lwtxtr.h -- texture access ("Texture Functions 2"): textures, their
 * layers and layer parameters.
 */
#ifndef LWTXTR_H
#define LWTXTR_H

#include "lwtypes.h"
#include "lwio.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_TxtrLayer *LWTLayerID;
typedef struct st_TxtrContext *LWTxtrContextID;

/* Shading sample; opaque here because nothing in this system reads it. */
typedef struct st_LWMicropol LWMicropol;
typedef LWMicropol *LWMicropolID;

/* Texture contexts (members 1-4 of LWTextureFuncs) are not used by this
   system; these two records are declared minimally so those members have
   complete parameter types. */
typedef struct st_LWTxtrParamDesc {
    char *name;
    int type;
} LWTxtrParamDesc;

typedef struct st_LWTxtrParamFuncs {
    double (*paramEvaluate)(LWTxtrParamDesc *param, int paramNb, LWMicropol *mp,
                            void *result);
    void (*paramTime)(void *userData, LWTxtrParamDesc *param, int paramNb, LWTime t,
                      LWFrame f);
} LWTxtrParamFuncs;

#define LWTEXTUREFUNCS_GLOBAL "Texture Functions 2"

/* Layer types. */
#define TLT_IMAGE 0
#define TLT_PROC  1
#define TLT_GRAD  2

/* getParam/setParam tags, with the type `data` points to. */
#define TXTAG_POSI     0    /* double[3] */
#define TXTAG_ROTA     1    /* double[3] */
#define TXTAG_SIZE     2    /* double[3] */
#define TXTAG_FALL     3    /* double[3] */
#define TXTAG_PROJ     4    /* int: a TXPRJ_ code */
#define TXTAG_AXIS     5    /* int: 0/1/2 = X/Y/Z */
#define TXTAG_WWRP     6    /* double */
#define TXTAG_HWRP     7    /* double */
#define TXTAG_COORD    8    /* int: 0 object, 1 world */
#define TXTAG_IMAGE    9    /* LWImageID */
#define TXTAG_VMAP     10   /* vmap handle */
#define TXTAG_ROBJ     11
#define TXTAG_OPAC     12
#define TXTAG_AA       13
#define TXTAG_AAVAL    14
#define TXTAG_PIXBLEND 15
#define TXTAG_WREPEAT  16
#define TXTAG_HREPEAT  17

#define TXPRJ_PLANAR      0
#define TXPRJ_CYLINDRICAL 1
#define TXPRJ_SPHERICAL   2
#define TXPRJ_CUBIC       3
#define TXPRJ_FRONT       4
#define TXPRJ_UVMAP       5

#define TXRPT_RESET  0
#define TXRPT_REPEAT 1
#define TXRPT_MIRROR 2
#define TXRPT_EDGE   3

typedef struct st_LWTextureFuncs {
    LWTxtrContextID (*contextCreate)(LWTxtrParamFuncs);
    void (*contextDestroy)(LWTxtrContextID);
    void (*contextAddParam)(LWTxtrContextID, LWTxtrParamDesc);
    LWTextureID (*create)(int returnType, const char *name, LWTxtrContextID,
                          void *userData);
    void (*destroy)(LWTextureID);
    void (*copy)(LWTextureID to, LWTextureID from);
    void (*newtime)(LWTextureID, LWTime, LWFrame);
    void (*cleanup)(LWTextureID);
    void (*load)(LWTextureID, const LWLoadState *);
    void (*save)(LWTextureID, const LWSaveState *);
    double (*evaluate)(LWTextureID, LWMicropolID, double *rv);
    void (*setEnvGroup)(LWTextureID, LWChanGroupID);
    LWTLayerID (*firstLayer)(LWTextureID);
    LWTLayerID (*lastLayer)(LWTextureID);
    LWTLayerID (*nextLayer)(LWTextureID, LWTLayerID);
    LWTLayerID (*layerAdd)(LWTextureID, int layerType);
    void (*layerSetType)(LWTLayerID, int layerType);
    int (*layerType)(LWTLayerID);
    double (*layerEvaluate)(LWTLayerID, LWMicropolID, double *rv);
    LWChanGroupID (*layerEnvGroup)(LWTLayerID);
    int (*setParam)(LWTLayerID, int tag, void *data);
    int (*getParam)(LWTLayerID, int tag, void *data);
    void (*evaluateUV)(LWTLayerID, int wAxis, int oAxis, double oPos[3],
                       double wPos[3], double uv[2]);
    double (*noise)(double p[3]);
    void *(*userData)(LWTextureID);
    LWChanGroupID (*envGroup)(LWTextureID);
    LWTextureID (*texture)(LWTLayerID);
    const char *(*name)(LWTextureID);
    int (*type)(LWTextureID);
    LWTxtrContextID (*context)(LWTextureID);
} LWTextureFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWTXTR_H */
