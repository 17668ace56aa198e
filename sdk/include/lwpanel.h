/*
 * lwpanel.h -- the panel toolkit ("LWPanelServices"): panels, controls and
 * the values exchanged with them.
 */
#ifndef LWPANEL_H
#define LWPANEL_H

#include "lwtypes.h"
#include "lwserver.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWPANELFUNCS_GLOBAL  "LWPanelServices"
#define LWPANELS_API_VERSION 19

typedef void *LWPanelID;
typedef void *LWControlID;      /* the LWControl * itself */
typedef void *LWContextMenuID;

typedef unsigned short LWDualKey;

/* ---- tags and modes ---------------------------------------------------- */

/* Panel attributes for get/set. PAN_X/Y/W/H and PAN_VERSION exchange a
   pointer to an int; the user hooks and PAN_USERDATA the pointer itself. */
typedef enum en_pTag {
    PAN_X, PAN_Y, PAN_W, PAN_H, PAN_MOUSEX, PAN_MOUSEY, PAN_FLAGS,
    PAN_USERDRAW, PAN_USERACTIVATE, PAN_USEROPEN, PAN_USERCLOSE, PAN_TITLE,
    PAN_USERDATA, PAN_USERKEYS, PAN_LWINSTANCE, PAN_MOUSEBUTTON, PAN_MOUSEMOVE,
    PAN_PANFUN, PAN_VERSION, PAN_RESULT, PAN_HOSTDISPLAY, PAN_USERKEYUPS,
    PAN_QUALIFIERS, PAN_TO_FRONT
} pTag;

typedef enum en_DrMode {
    DR_ERASE, DR_RENDER, DR_GHOST, DR_REFRESH
} DrMode;

/* Control attributes for get/set, always through an LWValue. */
typedef enum en_cTag {
    CTL_X, CTL_Y, CTL_W, CTL_H, CTL_VALUE, CTL_HOTX, CTL_HOTY, CTL_HOTW,
    CTL_HOTH, CTL_LABELWIDTH, CTL_MOUSEX, CTL_MOUSEY, CTL_FLAGS, CTL_USERDRAW,
    CTL_USEREVENT, CTL_LABEL, CTL_USERDATA, CTL_PANEL, CTL_PANFUN, CTL_RANGEMIN,
    CTL_RANGEMAX, CTL_ACTIVATE
} cTag;

typedef enum en_MxType {
    MX_HCHOICE, MX_VCHOICE, MX_POPUP
} MxType;

/* open() flags. */
#define PANF_BLOCKING    (1 << 0)
#define PANF_CANCEL      (1 << 1)
#define PANF_FRAME       (1 << 2)
#define PANF_MOUSETRAP   (1 << 3)
#define PANF_PASSALLKEYS (1 << 4)
#define PANF_ABORT       (1 << 5)
#define PANF_NOBUTT      (1 << 6)
#define PANF_RESIZE      (1 << 7)

/* CTL_FLAGS bits. */
#define CTLF_DISABLE   0x100
#define CTLF_GHOST     CTLF_DISABLE
#define CTLF_INVISIBLE 0x200

/* handle() flags. */
#define EVNT_BLOCKING (1 << 0)
#define EVNT_ALL      (1 << 1)

/* ---- value types -------------------------------------------------------- */

typedef int LWType;
#define LWT_NULL     0
#define LWT_STRING   1
#define LWT_INTEGER  2
#define LWT_FLOAT    3
#define LWT_DISTANCE 4
#define LWT_VINT     5
#define LWT_VFLOAT   6
#define LWT_VDIST    7
#define LWT_BOOLEAN  8
#define LWT_CHOICE   9
#define LWT_SURFACE  10
#define LWT_FONT     11
#define LWT_TEXT     12
#define LWT_LAYERS   13
#define LWT_CUSTOM   14
#define LWT_RANGE    15
#define LWT_LWITEM   16
#define LWT_PERCENT  17
#define LWT_POPUP    18
#define LWT_AREA     19
#define LWT_XPANEL   20
#define LWT_TREE     21
#define LWT_MLIST    22

/* Values exchanged through a control's get/set; every member starts with
   its LWType. */
typedef struct st_LWValString {
    LWType type;
    char *buf;
    int bufLen;
} LWValString;

typedef struct st_LWValInt {
    LWType type;
    int value;
    int defVal;
} LWValInt;

typedef struct st_LWValFloat {
    LWType type;
    double value;
    double defVal;
} LWValFloat;

typedef struct st_LWValIVector {
    LWType type;
    int val[3];
    int defVal;
} LWValIVector;

typedef struct st_LWValFVector {
    LWType type;
    double val[3];
    double defVal;
} LWValFVector;

typedef struct st_LWValPointer {
    LWType type;
    void *ptr;
} LWValPointer;

typedef struct st_LWValCustom {
    LWType type;
    int val[4];
} LWValCustom;

typedef union un_LWValue {
    LWType type;
    LWValString str;
    LWValInt intv;
    LWValFloat flt;
    LWValIVector ivec;
    LWValFVector fvec;
    LWValPointer ptr;
    LWValCustom cust;
} LWValue;

/* ---- control descriptors ------------------------------------------------ */

/* Popup and list callbacks receive the control's CTL_USERDATA first. */
typedef struct st_LWPanStringDesc {
    LWType type;
    int width;
} LWPanStringDesc;

typedef struct st_LWPanChoiceDesc {
    LWType type;
    const char **items;
    int vertical;
} LWPanChoiceDesc;

typedef struct st_LWPanTextDesc {
    LWType type;
    const char **text;          /* NULL-terminated lines */
} LWPanTextDesc;

typedef struct st_LWPanRangeDesc {
    LWType type;
    int width;
    int min;
    int max;
} LWPanRangeDesc;

typedef struct st_LWPanAreaDesc {
    LWType type;
    int width;
    int height;
} LWPanAreaDesc;

typedef struct st_LWPanLWItemDesc {
    LWType type;
    void *global;
    int itemType;
    char **list;
    int count;
    int width;
} LWPanLWItemDesc;

typedef struct st_LWPanPopupDesc {
    LWType type;
    int width;
    int (*countFn)(void *userdata);
    char *(*nameFn)(void *userdata, int index);
} LWPanPopupDesc;

typedef struct st_LWPanListBoxDesc {
    LWType type;
    int width;
    int visItems;
    int top;
    int (*countFn)(void *userdata);
    char *(*nameFn)(void *userdata, int index);
} LWPanListBoxDesc;

typedef struct st_LWPanXPanDesc {
    LWType type;
    int width;
    int height;
    void *xpan;
} LWPanXPanDesc;

typedef struct st_LWPanTreeDesc {
    LWType type;
    int width;
    int height;
    int (*countFn)(void *userdata, void *node);
    void *(*leafFn)(void *userdata, void *node, int index);
    char *(*infoFn)(void *userdata, void *node, int *flags);
    void (*moveFn)(void *userdata, void *node, void *parent, int index);
} LWPanTreeDesc;

/* nameFn is also called with row -1 for the column headings; colWidth
   returns the pixel width of column col, 0 to end the list. */
typedef struct st_LWPanMultiListBoxDesc {
    LWType type;
    int width;
    int visItems;
    int top;
    int (*countFn)(void *userdata);
    char *(*nameFn)(void *userdata, int row, int col);
    int (*colWidth)(void *userdata, int col);
} LWPanMultiListBoxDesc;

typedef union un_LWPanControlDesc {
    LWType type;
    LWPanStringDesc string;
    LWPanChoiceDesc choice;
    LWPanTextDesc text;
    LWPanRangeDesc range;
    LWPanAreaDesc area;
    LWPanLWItemDesc lwitem;
    LWPanPopupDesc popup;
    LWPanListBoxDesc listbox;
    LWPanXPanDesc xpanel;
    LWPanTreeDesc tree;
    LWPanMultiListBoxDesc multiList;
} LWPanControlDesc;
typedef LWPanControlDesc ControlDesc;

/* ---- hooks -------------------------------------------------------------- */

typedef void (*LWPanHook)(LWPanelID, void *userdata);
typedef void (*LWPanKeyHook)(LWPanelID, void *userdata, LWDualKey key);
typedef void (*LWPanMouseHook)(LWPanelID, void *userdata, int qual, int x, int y);
typedef void (*LWPanDrawHook)(LWPanelID, void *userdata, DrMode);
typedef void (*LWCtlDrawHook)(LWControlID, void *userdata, DrMode);
typedef void (*LWCtlEventHook)(LWControlID, void *userdata);

/* ---- records ------------------------------------------------------------ */

typedef struct st_LWDisplayMetrics LWDisplayMetrics;

typedef struct st_DrawFuncs {
    void (*drawPixel)(LWPanelID, int color, int x, int y);
    void (*drawRGBPixel)(LWPanelID, int r, int g, int b, int x, int y);
    void (*drawLine)(LWPanelID, int color, int x1, int y1, int x2, int y2);
    void (*drawBox)(LWPanelID, int color, int x, int y, int w, int h);
    void (*drawRGBBox)(LWPanelID, int r, int g, int b, int x, int y, int w, int h);
    void (*drawBorder)(LWPanelID, int indent, int x, int y, int w, int h);
    int (*textWidth)(LWPanelID, char *text);
    void (*drawText)(LWPanelID, char *text, int color, int x, int y);
    const LWDisplayMetrics *(*dispMetrics)(void);
} DrawFuncs;

/* The LWControl pointer is itself the control's LWControlID. */
typedef struct st_LWControl {
    void (*draw)(LWControlID, DrMode);
    void (*get)(LWControlID, cTag, LWValue *);
    void (*set)(LWControlID, cTag, LWValue *);
    void *priv_data;
} LWControl;

/* open() with PANF_BLOCKING returns non-zero when closed with OK/Continue,
   0 when cancelled. Store the activation's global function in globalFun
   before creating panels. */
typedef struct st_LWPanelFuncs {
    LWPanelID (*create)(char *title, void *panelFuncs);
    void (*destroy)(LWPanelID);
    int (*open)(LWPanelID, int flags);
    int (*handle)(LWPanelID, int flags);     /* 0 still open, -1 closed */
    void (*draw)(LWPanelID, DrMode);
    void (*close)(LWPanelID);
    void (*get)(LWPanelID, pTag, void *value);
    void (*set)(LWPanelID, pTag, void *value);
    LWControl *(*addControl)(LWPanelID, char *typeName, LWPanControlDesc *desc,
                             char *label);
    LWControl *(*nextControl)(LWPanelID, LWControlID);
    DrawFuncs *drawFuncs;
    void *user_data;
    GlobalFunc *globalFun;
} LWPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif /* LWPANEL_H */
