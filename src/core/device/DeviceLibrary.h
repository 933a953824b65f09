#pragma once
// The recorder's device library as a plain C interface. The recorder maker's
// library exists for one platform only, so the program defines the interface
// itself: any shared library exporting these four calls can drive the device
// page (the bundled simulator does).
//
// Notifications arrive through the callback given to VX310Device_Init, from
// any thread of the library:
//   w = 0  connection changed: l = 1 a recorder is connected, other: none;
//   w = 1  a parameter value: low 16 bits of l the parameter number, high 16
//          bits its value (unsigned);
//   w = 2  a write is done: low 16 bits of l the request id.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The 128-byte parameter block: 32 little-endian 32-bit fields. Its fields are
// only ever reached through the named offsets of device/DeviceParameters.h.
typedef struct tagDeviceParameters {
    unsigned char bytes[128];
} tagDeviceParameters;

typedef void (*VX310DeviceNotifyFn)(void* context, uint32_t w, uint32_t l);

// Starts the library; `callback` receives every notification until
// VX310Device_Free returns. Non-zero when the library started.
int32_t VX310Device_Init(VX310DeviceNotifyFn callback, void* context);
// Non-zero when the read request was accepted; the values follow as w = 1
// notifications, parameter 31 last.
int32_t VX310Device_ReadAll(void);
// Non-zero when the write was accepted; `requestId` receives the id that the
// w = 2 notification will carry, 0xFFFFFFFF when no request is pending.
int32_t VX310Device_WriteAll(tagDeviceParameters* params, unsigned long* requestId);
// Stops the library; no notification arrives after it returns.
void VX310Device_Free(void);

typedef int32_t (*VX310Device_InitFn)(VX310DeviceNotifyFn, void*);
typedef int32_t (*VX310Device_ReadAllFn)(void);
typedef int32_t (*VX310Device_WriteAllFn)(tagDeviceParameters*, unsigned long*);
typedef void (*VX310Device_FreeFn)(void);

#ifdef __cplusplus
}
#endif
