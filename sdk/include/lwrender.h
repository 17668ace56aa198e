/*
 * lwrender.h -- Layout's scene services: items, objects, bones, scene and
 * interface state.
 */
#ifndef LWRENDER_H
#define LWRENDER_H

#include "lwtypes.h"
#include "lwmeshes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque item handle; LWITEM_NULL is none. */
typedef void *LWItemID;
#define LWITEM_NULL ((LWItemID)0)
#define LWITEM_ALL  ((LWItemID)~0)

typedef int LWItemType;
#define LWI_OBJECT 0
#define LWI_LIGHT  1
#define LWI_CAMERA 2
#define LWI_BONE   3

typedef int LWItemParam;
#define LWIP_POSITION    1   /* relative to the parent */
#define LWIP_RIGHT       2   /* item +X in world, scale included */
#define LWIP_UP          3
#define LWIP_FORWARD     4
#define LWIP_ROTATION    5   /* heading, pitch, bank in radians, relative to the parent */
#define LWIP_SCALING     6
#define LWIP_PIVOT       7
#define LWIP_W_POSITION  8
#define LWIP_W_RIGHT     9   /* world axes in item space */
#define LWIP_W_UP        10
#define LWIP_W_FORWARD   11
#define LWIP_PIVOT_ROT   12

/* ---- "LW Item Info 3" ------------------------------------------------- */

#define LWITEMINFO_GLOBAL "LW Item Info 3"

/* Item Info flags(). */
#define LWITEMF_ACTIVE         (1 << 0)
#define LWITEMF_UNAFFECT_BY_IK (1 << 1)
#define LWITEMF_FULLTIME_IK    (1 << 2)
#define LWITEMF_GOAL_ORIENT    (1 << 3)
#define LWITEMF_REACH_GOAL     (1 << 4)

/* limits() result bits: which vector components are limited. */
#define LWVECF_0 (1 << 0)
#define LWVECF_1 (1 << 1)
#define LWVECF_2 (1 << 2)

/* controller() codes (the older numbering that goes with this record). */
#define LWMOTCTL_KEYFRAMES     0
#define LWMOTCTL_TARGETING     1
#define LWMOTCTL_ALIGN_TO_PATH 2
#define LWMOTCTL_IK            3

/* serverFlags() bits. */
#define LWSRVF_DISABLED (1 << 0)
#define LWSRVF_HIDDEN   (1 << 1)

/* Member order is binary layout: parent, target, goal, type, name. */
typedef struct st_LWItemInfo {
    LWItemID (*first)(LWItemType, LWItemID boneObject);
    LWItemID (*next)(LWItemID);
    LWItemID (*firstChild)(LWItemID parent);
    LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
    LWItemID (*parent)(LWItemID);
    LWItemID (*target)(LWItemID);
    LWItemID (*goal)(LWItemID);
    LWItemType (*type)(LWItemID);
    const char *(*name)(LWItemID);
    void (*param)(LWItemID, LWItemParam, LWTime, LWDVector);
    unsigned int (*limits)(LWItemID, LWItemParam, LWDVector min, LWDVector max);
    const char *(*getTag)(LWItemID, int tagNum);            /* tags from 1 */
    void (*setTag)(LWItemID, int tagNum, const char *tag);
    LWChanGroupID (*chanGroup)(LWItemID);
    const char *(*server)(LWItemID, const char *className, int index);  /* index from 1 */
    unsigned int (*serverFlags)(LWItemID, const char *className, int index);
    void (*controller)(LWItemID, LWItemParam, int type[3]);
    unsigned int (*flags)(LWItemID);
    LWTime (*lookAhead)(LWItemID);
    double (*goalStrength)(LWItemID);
    void (*stiffness)(LWItemID, LWItemParam, LWDVector);
} LWItemInfo;

/* ---- "LW Object Info 4" ----------------------------------------------- */

#define LWOBJECTINFO_GLOBAL "LW Object Info 4"

/* meshInfo(obj, frozen): frozen != 0 gives subdivided/metaball geometry.
   The caller frees the result with its destroy member when that is set. */
typedef struct st_LWObjectInfo {
    const char *(*filename)(LWItemID);
    int (*numPoints)(LWItemID);
    int (*numPolygons)(LWItemID);
    unsigned int (*shadowOpts)(LWItemID);
    double (*dissolve)(LWItemID, LWTime);
    LWMeshInfoID (*meshInfo)(LWItemID, int frozen);
    unsigned int (*flags)(LWItemID);
    double (*fog)(LWItemID, LWTime);
    LWTextureID (*dispMap)(LWItemID);
    LWTextureID (*clipMap)(LWItemID);
    void (*patchLevel)(LWItemID, int *display, int *render);
    void (*metaballRes)(LWItemID, double *display, double *render);
    LWItemID (*boneSource)(LWItemID);
    LWItemID (*morphTarget)(LWItemID);
    double (*morphAmount)(LWItemID, LWTime);
    unsigned int (*edgeOpts)(LWItemID);
    void (*edgeColor)(LWItemID, LWTime, LWDVector color);
    int (*subdivOrder)(LWItemID);
    double (*polygonSize)(LWItemID, LWTime);
    int (*excluded)(LWItemID object, LWItemID light);
} LWObjectInfo;

/* ---- "LW Bone Info 3" ------------------------------------------------- */

#define LWBONEINFO_GLOBAL "LW Bone Info 3"

#define LWBONEF_ACTIVE          (1 << 0)
#define LWBONEF_LIMITED_RANGE   (1 << 1)
#define LWBONEF_SCALE_STRENGTH  (1 << 2)
#define LWBONEF_WEIGHT_MAP_ONLY (1 << 3)
#define LWBONEF_WEIGHT_NORM     (1 << 4)
#define LWBONEF_JOINT_COMP      (1 << 5)
#define LWBONEF_JOINT_COMP_PAR  (1 << 6)
#define LWBONEF_MUSCLE_FLEX     (1 << 7)
#define LWBONEF_MUSCLE_FLEX_PAR (1 << 8)

/* restParam takes LWIP_POSITION or LWIP_ROTATION: the rest value relative
   to the parent, rotation in radians. weightMap may return NULL. */
typedef struct st_LWBoneInfo {
    unsigned int (*flags)(LWItemID);
    void (*restParam)(LWItemID, LWItemParam, LWDVector);
    double (*restLength)(LWItemID);
    void (*limits)(LWItemID, double *inner, double *outer);
    const char *(*weightMap)(LWItemID);
    double (*strength)(LWItemID);
    int (*falloff)(LWItemID);
    void (*jointComp)(LWItemID, double *self, double *parent);
    void (*muscleFlex)(LWItemID, double *self, double *parent);
} LWBoneInfo;

/* ---- "LW Scene Info 3" ------------------------------------------------ */

#define LWSCENEINFO_GLOBAL "LW Scene Info 3"

/* Data members, read directly; only renderCamera is a function. */
typedef struct st_LWSceneInfo {
    const char *name;
    const char *filename;
    int numPoints;
    int numPolygons;
    int renderType;
    int renderOpts;
    LWFrame frameStart;
    LWFrame frameEnd;
    LWFrame frameStep;
    double framesPerSecond;
    int frameWidth;
    int frameHeight;
    double pixelAspect;
    int minSamplesPerPixel;
    int maxSamplesPerPixel;
    int limitedRegion[4];       /* x0, y0, x1, y1 */
    int recursionDepth;
    LWItemID (*renderCamera)(LWTime);
    int numThreads;
} LWSceneInfo;

/* ---- "LW Interface Info 3" -------------------------------------------- */

#define LWINTERFACEINFO_GLOBAL "LW Interface Info 3"

/* itemFlags() bits: same values as the Item Info flags, other meaning. */
#define LWITEMF_SELECTED     (1 << 0)
#define LWITEMF_SHOWCHILDREN (1 << 1)
#define LWITEMF_SHOWCHANNELS (1 << 2)
#define LWITEMF_LOCKED       (1 << 3)

#define LWDYNUP_OFF         0
#define LWDYNUP_DELAYED     1
#define LWDYNUP_INTERACTIVE 2

#define LWIVIS_HIDDEN  0
#define LWIVIS_VISIBLE 1

#define LWOVIS_HIDDEN      0
#define LWOVIS_BOUNDINGBOX 1
#define LWOVIS_VERTICES    2
#define LWOVIS_WIREFRAME   3
#define LWOVIS_FFWIREFRAME 4
#define LWOVIS_SHADED      5
#define LWOVIS_TEXTURED    6

#define LWALERT_BEGINNER     0
#define LWALERT_INTERMEDIATE 1
#define LWALERT_EXPERT       2

#define LWGENF_HIDETOOLBAR     (1 << 0)
#define LWGENF_RIGHTTOOLBAR    (1 << 1)
#define LWGENF_PARENTINPLACE   (1 << 2)
#define LWGENF_FRACTIONALFRAME (1 << 3)
#define LWGENF_KEYSINSLIDER    (1 << 4)
#define LWGENF_PLAYEXACTRATE   (1 << 5)

/* The layout that goes with the "3" name; the newer record inserts two
   members before alertLevel. selItems is NULL-terminated. */
typedef struct st_LWInterfaceInfo {
    LWTime curTime;
    const LWItemID *selItems;
    unsigned int (*itemFlags)(LWItemID);
    LWFrame previewStart;
    LWFrame previewEnd;
    LWFrame previewStep;
    int dynaUpdate;
    void (*schemaPos)(LWItemID, double *x, double *y);
    int (*itemVis)(LWItemID);
    unsigned int displayFlags;
    unsigned int generalFlags;
    int boxThreshold;
    int (*itemColor)(LWItemID);
    int alertLevel;
} LWInterfaceInfo;

#ifdef __cplusplus
}
#endif

#endif /* LWRENDER_H */
