/*
 * lwio.h -- the host's block-structured load and save streams, handed to
 * instance load/save callbacks.
 */
#ifndef LWIO_H
#define LWIO_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWIO_BINARY 0
#define LWIO_ASCII  1           /* scene files */

typedef struct st_LWBlockIdent {
    LWID id;
    const char *token;
} LWBlockIdent;

/* Pass readData as the first argument of every function. read returns -1 at
   the end of the data. */
typedef struct st_LWLoadState {
    int ioMode;
    void *readData;
    int (*read)(void *readData, char *buf, int len);
    int (*readI1)(void *readData, char *vals, int n);
    int (*readI2)(void *readData, short *vals, int n);
    int (*readI4)(void *readData, int *vals, int n);
    int (*readU1)(void *readData, unsigned char *vals, int n);
    int (*readU2)(void *readData, unsigned short *vals, int n);
    int (*readU4)(void *readData, unsigned int *vals, int n);
    int (*readFP)(void *readData, float *vals, int n);
    int (*readStr)(void *readData, char *buf, int max);
    LWID (*readID)(void *readData, const LWBlockIdent *idlist);
    LWID (*findBlk)(void *readData, const LWBlockIdent *idlist);
    void (*endBlk)(void *readData);
    int (*depth)(void *readData);
} LWLoadState;

/* Pass writeData as the first argument of every function. */
typedef struct st_LWSaveState {
    int ioMode;
    void *writeData;
    void (*write)(void *writeData, const char *buf, int len);
    void (*writeI1)(void *writeData, const char *vals, int n);
    void (*writeI2)(void *writeData, const short *vals, int n);
    void (*writeI4)(void *writeData, const int *vals, int n);
    void (*writeU1)(void *writeData, const unsigned char *vals, int n);
    void (*writeU2)(void *writeData, const unsigned short *vals, int n);
    void (*writeU4)(void *writeData, const unsigned int *vals, int n);
    void (*writeFP)(void *writeData, const float *vals, int n);
    void (*writeStr)(void *writeData, const char *str);
    void (*writeID)(void *writeData, const LWBlockIdent *id);
    void (*beginBlk)(void *writeData, const LWBlockIdent *id, int leaf);
    void (*endBlk)(void *writeData);
    int (*depth)(void *writeData);
} LWSaveState;

#ifdef __cplusplus
}
#endif

#endif /* LWIO_H */
