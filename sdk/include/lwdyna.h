/*
 * lwdyna.h -- DynaValue, the tagged argument/result value of host commands.
 */
#ifndef LWDYNA_H
#define LWDYNA_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int DynaType;

#define DY_NULL     0
#define DY_STRING   1
#define DY_INTEGER  2
#define DY_FLOAT    3
#define DY_DISTANCE 4
#define DY_VINT     5
#define DY_VFLOAT   6
#define DY_VDIST    7
#define DY_BOOLEAN  8
#define DY_CHOICE   9
#define DY_SURFACE  10
#define DY_FONT     11
#define DY_TEXT     12
#define DY_LAYERS   13
#define DY_CUSTOM   14

/* Every member starts with its DynaType, so `type` is always readable. */
typedef struct st_DyValString {
    DynaType type;
    char *buf;
    int bufLen;
} DyValString;

typedef struct st_DyValInt {
    DynaType type;
    int value;
    int defVal;
} DyValInt;

typedef struct st_DyValFloat {
    DynaType type;
    double value;
    double defVal;
} DyValFloat;

typedef struct st_DyValIVector {
    DynaType type;
    int val[3];
    int defVal;
} DyValIVector;

typedef struct st_DyValFVector {
    DynaType type;
    double val[3];
    double defVal;
} DyValFVector;

typedef struct st_DyValCustom {
    DynaType type;
    int val[4];
} DyValCustom;

typedef union un_DynaValue {
    DynaType type;
    DyValString str;
    DyValInt intv;
    DyValFloat flt;
    DyValIVector ivec;
    DyValFVector fvec;
    DyValCustom cust;
} DynaValue;

#ifdef __cplusplus
}
#endif

#endif /* LWDYNA_H */
