#ifndef QVXAPI_H
#define QVXAPI_H

/* qvxapi: client of the crate server. Lists the crates and the module identifier in each
 * of their 16 slots. One TCP connection per record; usable from any thread, one thread at a
 * time per record. Every call returns within a bounded time (connect 2 s, reply 3 s).
 *
 * Crate list:       QVX_Init, Slot = 0, QVX_Open, QVX_GetCrates, QVX_Close.
 * Modules of crate: QVX_Init, Slot = 0; per crate: copy its serial into CrateSerial,
 *                   QVX_Open, QVX_GetCrateModules, QVX_Close.
 * A failed Open, GetCrates or GetCrateModules has already released the connection, so the
 * caller need not close it (closing anyway is harmless). */

#include "qvxcommon.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVX_SERIAL_LEN 16
#define QVX_MAX_CRATES 16
#define QVX_SLOT_COUNT 16
#define QVX_MODULE_ID_QVXM 0xD8D8u
#define QVX_MODULE_ID_EMPTY 0x0000u

typedef struct TQVX {
    char CrateSerial[QVX_SERIAL_LEN]; /* crate to open; all zero = the server itself */
    uint16_t Slot;                    /* 0 addresses the crate itself, modules from 1 */
    uint16_t ServerPort;              /* preset by QVX_Init: 11111 */
    uint32_t ServerAddress;           /* preset by QVX_Init: 0x7F000001 (127.0.0.1) */
    int32_t Socket;                   /* -1 while closed */
    uint32_t OpenMark;                /* private: tells an open record from stale memory */
    uint32_t ReplyTimeoutMs;          /* preset by QVX_Init: 3000 */
} TQVX;

/* Presets the record for the local crate server and forgets any earlier connection. */
int32_t QVX_Init(TQVX *rec);
/* Connects to the crate named in CrateSerial, or to the server when CrateSerial is empty.
 * QVX_ERR_NOT_FOUND when the server has no such crate. */
int32_t QVX_Open(TQVX *rec);
/* Writes the crates' serial numbers, in the server's order, into entries 0..; the entries
 * after the last crate are zeroed; at most 16. */
int32_t QVX_GetCrates(TQVX *rec, char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN]);
/* Writes the module identifier of slot s into modules[s - 1]; 0 = empty slot, 0xD8D8 = QVXM.
 * The record must be open on a crate. */
int32_t QVX_GetCrateModules(TQVX *rec, uint16_t modules[QVX_SLOT_COUNT]);
/* Closes the connection; safe on a closed record. */
int32_t QVX_Close(TQVX *rec);

#ifdef __cplusplus
}
#endif

#endif
