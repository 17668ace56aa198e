/*
 * lwtypes.h -- basic types shared by every part of the host interface.
 *
 * Handles (images, textures, envelopes, ...) are opaque pointer-sized
 * values owned by the host; 0 means "none".
 */
#ifndef LWTYPES_H
#define LWTYPES_H

/* Entry points need no calling-convention decoration on the supported
   platforms; the macros stay so code written for the published interface
   compiles unchanged. */
#define XCALL_(t) t
#define XCALL_INIT

typedef int LWFrame;
typedef double LWTime;          /* seconds */

typedef float LWFVector[3];
typedef double LWDVector[3];

/* Four-character code, first character in the most significant byte.
   32 bits wide on every platform (the older unsigned long width differs
   on 64-bit Unix). */
typedef unsigned int LWID;
#define LWID_(a, b, c, d) \
    ((((LWID)(a)) << 24) | (((LWID)(b)) << 16) | (((LWID)(c)) << 8) | ((LWID)(d)))

typedef int LWCommandCode;

typedef void *LWInstance;
typedef const char *LWError;    /* NULL = no error */

typedef void *LWImageID;
typedef void *LWPixmapID;
typedef void *LWTextureID;
typedef void *LWEnvelopeID;
typedef void *LWChanGroupID;

typedef float LWBufferValue;

#endif /* LWTYPES_H */
