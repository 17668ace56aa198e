/*
 * lwcmdseq.h -- the local record of a Modeler command sequence server.
 */
#ifndef LWCMDSEQ_H
#define LWCMDSEQ_H

#include "lwtypes.h"
#include "lwdyna.h"
#include "lwmodeler.h"
#include "lwmeshedt.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWMODCOMMAND_CLASS   "CommandSequence"
#define LWMODCOMMAND_VERSION 3

/* execute() results. */
#define CSERR_NONE      0
#define CSERR_MEMORY    1
#define CSERR_IO        2
#define CSERR_USERABORT 4
#define CSERR_ARGCOUNT  2901
#define CSERR_ARGTYPE   2902
#define CSERR_ARGVALUE  2903
#define CSERR_OPFAILURE 2904
#define CSERR_BADSEL    2905

/* editBegin may be called several times per activation, each edit ended by
   done(); no command may be issued while an edit is open. */
typedef struct st_LWModCommand {
    void *data;
    const char *argument;
    LWCommandCode (*lookup)(void *data, const char *cmdName);
    int (*execute)(void *data, LWCommandCode cmd, int argc, const DynaValue *argv,
                   EltOpSelect sel, DynaValue *result);
    MeshEditBegin *editBegin;
    int (*evaluate)(void *data, const char *command);
} LWModCommand;

#ifdef __cplusplus
}
#endif

#endif /* LWCMDSEQ_H */
