#ifndef QVX_COMMON_H
#define QVX_COMMON_H

/* Status codes shared by qvxapi and qvxmapi, and the test hook that redirects both libraries
 * to another local crate server. Every operation returns QVX_OK (0) on success and one of the
 * negative codes below on failure. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVX_OK 0
#define QVX_ERR_ARGUMENT (-1)  /* null pointer, value outside what the module can do */
#define QVX_ERR_CONNECT (-2)   /* the crate server refused or did not accept the connection */
#define QVX_ERR_TIMEOUT (-3)   /* the server did not answer within the bounded time */
#define QVX_ERR_PROTOCOL (-4)  /* the reply was malformed, oversized or of another version */
#define QVX_ERR_CLOSED (-5)    /* the connection was lost (the server went away) */
#define QVX_ERR_NOT_OPEN (-6)  /* the record has no open connection or module */
#define QVX_ERR_NOT_FOUND (-7) /* no such crate, or an empty slot */
#define QVX_ERR_BUSY (-8)      /* the module is held by another client */
#define QVX_ERR_STATE (-9)     /* not allowed now: acquiring, or not configured yet */
#define QVX_ERR_DEVICE (-10)   /* the crate or the module reported a failure */
#define QVX_ERR_WIRING (-11)   /* the wiring check found a fault (see the DataStatus bits) */
#define QVX_ERR_DATA (-12)     /* raw words that do not fit the configured frame */
#define QVX_ERR_NOT_QVXM (-13) /* the slot holds another kind of module */

/* The crate server that the libraries reach by default. */
#define QVX_DEFAULT_ADDRESS 0x7F000001u
#define QVX_DEFAULT_PORT 11111u

/* A short English name of a status code ("QVX_ERR_TIMEOUT"), for diagnostics. */
const char *QVX_StatusName(int32_t status);

/* Test hook: while port is non-zero, every connection of qvxapi and qvxmapi that targets
 * 127.0.0.1:11111 goes to 127.0.0.1:port instead; 0 restores the normal behaviour. The
 * program always asks for 127.0.0.1:11111, so this is how tests reach their own simulator.
 * Process-wide and thread-safe; takes effect for connections opened afterwards. */
void QVX_SetServerPortOverride(uint16_t port);
uint16_t QVX_ServerPortOverride(void);

#ifdef __cplusplus
}
#endif

#endif
