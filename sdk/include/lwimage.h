/*
 * lwimage.h -- the scene's image list and the image utility (pixel maps
 * and image savers).
 */
#ifndef LWIMAGE_H
#define LWIMAGE_H

#include "lwtypes.h"
#include "lwio.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWIMAGELIST_GLOBAL "LW Image List 3"

typedef struct st_LWImageList {
    LWImageID (*first)(void);
    LWImageID (*next)(LWImageID);
    LWImageID (*load)(const char *filename);
    const char *(*name)(LWImageID);
    const char *(*filename)(LWImageID, LWFrame);
    int (*isColor)(LWImageID);
    void (*needAA)(LWImageID);
    void (*size)(LWImageID, int *w, int *h);
    LWBufferValue (*luma)(LWImageID, int x, int y);
    void (*RGB)(LWImageID, int x, int y, LWBufferValue rgb[3]);
    double (*lumaSpot)(LWImageID, double x, double y, double spot, int blend);
    void (*RGBSpot)(LWImageID, double x, double y, double spot, int blend,
                    double rgb[3]);
    void (*clear)(LWImageID);
    LWImageID (*sceneLoad)(const LWLoadState *);
    void (*sceneSave)(const LWSaveState *, LWImageID);
    int (*hasAlpha)(LWImageID);
    LWBufferValue (*alpha)(LWImageID, int x, int y);
    double (*alphaSpot)(LWImageID, double x, double y, double spot, int blend);
    LWPixmapID (*evaluate)(LWImageID, LWTime);
} LWImageList;

#define LWIMAGEUTIL_GLOBAL "Image Utility"

/* An LWIMTYP_RGB24 pixel is three unsigned chars: r, g, b. */
typedef enum en_LWImageType {
    LWIMTYP_RGB24 = 0,
    LWIMTYP_GREY8 = 1,
    LWIMTYP_INDEX8 = 2,
    LWIMTYP_GREYFP = 3,
    LWIMTYP_RGBFP = 4,
    LWIMTYP_RGBA32 = 5,
    LWIMTYP_RGBAFP = 6,
    LWIMTYP_SPECIAL = 7
} LWImageType;

/* Savers are chosen by index; saverName gives the user-visible name, such
   as "Targa Format (.tga)". */
typedef struct st_LWImageUtil {
    LWPixmapID (*create)(int w, int h, LWImageType type);
    void (*destroy)(LWPixmapID);
    int (*save)(LWPixmapID, int saverIndex, const char *filename);
    void (*setPixel)(LWPixmapID, int x, int y, void *pixel);
    void (*getPixel)(LWPixmapID, int x, int y, void *pixel);
    void (*getInfo)(LWPixmapID, int *w, int *h, int *type);
    LWPixmapID (*resample)(LWPixmapID, int w, int h, int mode);
    int (*saverCount)(void);
    const char *(*saverName)(int saverIndex);
} LWImageUtil;

#ifdef __cplusplus
}
#endif

#endif /* LWIMAGE_H */
