/*
 * lwmeshedt.h -- Modeler's mesh edit operation (MeshEditOp): scanning,
 * querying and changing the geometry of the current object.
 */
#ifndef LWMESHEDT_H
#define LWMESHEDT_H

#include "lwtypes.h"
#include "lwmeshes.h"
#include "lwmodeler.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_MeshEditState *EDStateRef;

typedef int EDError;
#define EDERR_NONE      0
#define EDERR_NOMEMORY  1
#define EDERR_BADLAYER  2
#define EDERR_BADSURF   3
#define EDERR_USERABORT 4
#define EDERR_BADARGS   5
#define EDERR_BADVMAP   6

/* Selection mode handed to done(). */
#define EDSELM_CLEARCURRENT (1 << 0)
#define EDSELM_SELECTNEW    (1 << 1)
#define EDSELM_FORCEVRTS    (1 << 2)
#define EDSELM_FORCEPOLS    (1 << 3)

/* Point and polygon flags. */
#define EDDF_SELECT  (1 << 0)
#define EDDF_DELETE  (1 << 1)
#define EDPF_CCEND   (1 << 2)   /* curve control at the end */
#define EDPF_CCSTART (1 << 3)   /* curve control at the start */

/* pointCount/polyCount modes. */
#define EDCOUNT_ALL    0
#define EDCOUNT_SELECT 1
#define EDCOUNT_DELETE 2

/* Modeler keeps one record of each kind and overwrites it on every call:
   copy what is needed. */
typedef struct st_EDPointInfo {
    LWPntID pnt;
    void *userData;
    int layer;
    int flags;
    double position[3];
    float *vmapVec;
} EDPointInfo;

typedef struct st_EDPolygonInfo {
    LWPolID pol;
    void *userData;
    int layer;
    int flags;
    int numPnts;
    const LWPntID *points;
    const char *surface;
    unsigned int type;          /* an LWPOLTYPE_ code */
} EDPolygonInfo;

/* A non-zero return stops the scan and is returned by it. */
typedef EDError EDPointScanFunc(void *userData, const EDPointInfo *info);
typedef EDError EDPolyScanFunc(void *userData, const EDPolygonInfo *info);

typedef struct st_EDBoundCv {
    LWPolID curve;
    int start;
    int end;
} EDBoundCv;

/* Version-4 layout. Pass `state` as the first argument of every function.
   Changes take effect only when done() is called with EDERR_NONE. */
typedef struct st_MeshEditOp {
    EDStateRef state;
    int layerNum;
    void (*done)(EDStateRef, EDError, int selm);
    int (*pointCount)(EDStateRef, EltOpLayer, int mode);
    int (*polyCount)(EDStateRef, EltOpLayer, int mode);
    EDError (*pointScan)(EDStateRef, EDPointScanFunc *, void *, EltOpLayer);
    EDError (*polyScan)(EDStateRef, EDPolyScanFunc *, void *, EltOpLayer);
    EDPointInfo *(*pointInfo)(EDStateRef, LWPntID);
    EDPolygonInfo *(*polyInfo)(EDStateRef, LWPolID);
    int (*polyNormal)(EDStateRef, LWPolID, double[3]);      /* 0 when degenerate */
    LWPntID (*addPoint)(EDStateRef, double *xyz);
    LWPolID (*addFace)(EDStateRef, const char *surf, int numPnt, const LWPntID *);
    LWPolID (*addCurve)(EDStateRef, const char *surf, int numPnt, const LWPntID *,
                        int flags);
    EDError (*addQuad)(EDStateRef, LWPntID, LWPntID, LWPntID, LWPntID);
    EDError (*addTri)(EDStateRef, LWPntID, LWPntID, LWPntID);
    EDError (*addPatch)(EDStateRef, int nr, int nc, int lr, int lc, EDBoundCv *r0,
                        EDBoundCv *r1, EDBoundCv *c0, EDBoundCv *c1);
    EDError (*remPoint)(EDStateRef, LWPntID);
    EDError (*remPoly)(EDStateRef, LWPolID);
    EDError (*pntMove)(EDStateRef, LWPntID, const double *);
    EDError (*polSurf)(EDStateRef, LWPolID, const char *);
    EDError (*polPnts)(EDStateRef, LWPolID, int, const LWPntID *);
    EDError (*polFlag)(EDStateRef, LWPolID, int mask, int value);
    EDError (*polTag)(EDStateRef, LWPolID, LWID, const char *);
    EDError (*pntVMap)(EDStateRef, LWPntID, LWID type, const char *name, int dim,
                       float *val);                          /* NULL val removes */
    LWPolID (*addPoly)(EDStateRef, LWID type, LWPolID templ, const char *surf,
                       int numPnt, const LWPntID *);
    LWPntID (*addIPnt)(EDStateRef, double *xyz, int numPnt, const LWPntID *,
                       const double *wt);
    EDError (*initUV)(EDStateRef, float *uv);
    void *(*pointVSet)(EDStateRef, void *vmapID, LWID type, const char *name);
    int (*pointVGet)(EDStateRef, LWPntID, float *val);
    const char *(*polyTag)(EDStateRef, LWPolID, LWID);
    EDError (*pntSelect)(EDStateRef, LWPntID, int state);
    EDError (*polSelect)(EDStateRef, LWPolID, int state);
    int (*pointVPGet)(EDStateRef, LWPntID, LWPolID, float *val);
    int (*pointVEval)(EDStateRef, LWPntID, LWPolID, float *val);
    EDError (*pntVPMap)(EDStateRef, LWPntID, LWPolID, LWID type, const char *name,
                        int dim, float *val);
} MeshEditOp;

/* pntBuf/polBuf: bytes of per-point/per-polygon scratch (userData). */
typedef MeshEditOp *MeshEditBegin(int pntBuf, int polBuf, EltOpSelect);

#ifdef __cplusplus
}
#endif

#endif /* LWMESHEDT_H */
