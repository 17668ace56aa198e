/*
 * lwhost.h -- user messages and file requesters.
 */
#ifndef LWHOST_H
#define LWHOST_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

/* The second line may be NULL. okCancel/yesNo return 1 for OK/Yes and 0
   otherwise; yesNoCan 2 Yes, 1 No, 0 Cancel; yesNoAll 3 Yes-to-all, 2 Yes,
   1 No, 0 Cancel. */
typedef struct st_LWMessageFuncs {
    void (*info)(const char *line1, const char *line2);
    void (*error)(const char *line1, const char *line2);
    void (*warning)(const char *line1, const char *line2);
    int (*okCancel)(const char *title, const char *line1, const char *line2);
    int (*yesNo)(const char *title, const char *line1, const char *line2);
    int (*yesNoCan)(const char *title, const char *line1, const char *line2);
    int (*yesNoAll)(const char *title, const char *line1, const char *line2);
} LWMessageFuncs;

#define LWFILEACTIVATEFUNC_GLOBAL "File Request 2"
#define LWFILEREQFUNC_GLOBAL      "File Request"
#define LWFILEREQ_VERSION         3

#define FREQ_LOAD      1
#define FREQ_SAVE      2
#define FREQ_DIRECTORY 3
#define FREQ_MULTILOAD 4

/* path, baseName and fullName are caller buffers of bufLen bytes each.
   result: 1 picked, 0 cancelled, < 0 error. pickName is the multi-load
   callback (0 = continue), NULL otherwise. */
typedef struct st_LWFileReqLocal {
    int reqType;
    int result;
    const char *title;
    const char *fileType;       /* a type name such as "Images", not a wildcard */
    char *path;
    char *baseName;
    char *fullName;
    int bufLen;
    int (*pickName)(void);
} LWFileReqLocal;

/* What "File Request 2" returns; call it with LWFILEREQ_VERSION. Returns an
   AFUNC_ code; the user's choice is in local->result. */
typedef int LWFileActivateFunc(int version, LWFileReqLocal *local);

/* What the older "File Request" returns. */
typedef int LWFileReqFunc(const char *hail, char *name, char *path, char *fullName,
                          int buflen);

#ifdef __cplusplus
}
#endif

#endif /* LWHOST_H */
