/*
 * lwmeshes.h -- Layout's read-only mesh access (LWMeshInfo) and the scene's
 * object/vertex-map listing ("Scene Objects 4").
 */
#ifndef LWMESHES_H
#define LWMESHES_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque point and polygon handles; 0 is none. */
typedef struct st_GCoreVertex *LWPntID;
typedef struct st_GCorePolygon *LWPolID;

#define LWPOLTYPE_FACE LWID_('F', 'A', 'C', 'E')
#define LWPOLTYPE_CURV LWID_('C', 'U', 'R', 'V')
#define LWPOLTYPE_PTCH LWID_('P', 'T', 'C', 'H')
#define LWPOLTYPE_MBAL LWID_('M', 'B', 'A', 'L')
#define LWPOLTYPE_BONE LWID_('B', 'O', 'N', 'E')

#define LWPTAG_SURF LWID_('S', 'U', 'R', 'F')
#define LWPTAG_PART LWID_('P', 'A', 'R', 'T')
#define LWPTAG_TXUV LWID_('T', 'X', 'U', 'V')

#define LWVMAP_PICK LWID_('P', 'I', 'C', 'K')
#define LWVMAP_WGHT LWID_('W', 'G', 'H', 'T')
#define LWVMAP_MNVW LWID_('M', 'N', 'V', 'W')
#define LWVMAP_TXUV LWID_('T', 'X', 'U', 'V')
#define LWVMAP_MORF LWID_('M', 'O', 'R', 'F')
#define LWVMAP_SPOT LWID_('S', 'P', 'O', 'T')
#define LWVMAP_RGB  LWID_('R', 'G', 'B', ' ')
#define LWVMAP_RGBA LWID_('R', 'G', 'B', 'A')

/* Scan callbacks: a non-zero return stops the scan and is returned by it. */
typedef int LWPntScanFunc(void *data, LWPntID pnt);
typedef int LWPolScanFunc(void *data, LWPolID pol);

typedef struct st_LWMeshInfo *LWMeshInfoID;

/* Every function takes the record itself as its first argument. */
typedef struct st_LWMeshInfo {
    void *priv;
    void (*destroy)(LWMeshInfoID);      /* may be NULL: call only when set */
    int (*numPoints)(LWMeshInfoID);
    int (*numPolygons)(LWMeshInfoID);
    int (*scanPoints)(LWMeshInfoID, LWPntScanFunc *, void *);
    int (*scanPolys)(LWMeshInfoID, LWPolScanFunc *, void *);
    void (*pntBasePos)(LWMeshInfoID, LWPntID, LWFVector pos);
    void (*pntOtherPos)(LWMeshInfoID, LWPntID, LWFVector pos);
    void *(*pntVLookup)(LWMeshInfoID, LWID type, const char *name);
    int (*pntVSelect)(LWMeshInfoID, void *vmap);            /* dimension */
    int (*pntVGet)(LWMeshInfoID, LWPntID, float *val);     /* mapped? */
    LWID (*polType)(LWMeshInfoID, LWPolID);
    int (*polSize)(LWMeshInfoID, LWPolID);
    LWPntID (*polVertex)(LWMeshInfoID, LWPolID, int index);
    const char *(*polTag)(LWMeshInfoID, LWPolID, LWID tagType);
    int (*pntVPGet)(LWMeshInfoID, LWPntID, LWPolID, float *val);
    unsigned int (*polFlags)(LWMeshInfoID, LWPolID);
    int (*pntVIDGet)(LWMeshInfoID, LWPntID, float *val, void *vmap);
    int (*pntVPIDGet)(LWMeshInfoID, LWPntID, LWPolID, float *val, void *vmap);
} LWMeshInfo;

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 4"

/* Objects are numbered 0 .. numObjects-1, layers 0 .. maxLayers-1. A vmap
   type of 0 in numVMaps/vmapName/vmapDim means "all types". */
typedef struct st_LWObjectFuncs {
    int (*numObjects)(void);
    const char *(*filename)(int obj);
    int (*maxLayers)(int obj);
    int (*layerExists)(int obj, int layer);
    void (*pivotPoint)(int obj, int layer, LWFVector pos);
    LWMeshInfo *(*layerMesh)(int obj, int layer);
    int (*numVMaps)(LWID type);
    const char *(*vmapName)(LWID type, int index);
    int (*vmapDim)(LWID type, int index);
    LWID (*vmapType)(int index);
    const char *(*layerName)(int obj, int layer);
    int (*layerVis)(int obj, int layer);
    const char *(*userName)(int obj);
    const char *(*refName)(int obj);
} LWObjectFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWMESHES_H */
