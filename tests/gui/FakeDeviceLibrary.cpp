// A device library the tests script: it answers what it is told to and sends
// the notifications the test asks for, from a thread of its own.

#include <cstring>
#include <mutex>
#include <thread>

#include "device/DeviceLibrary.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_lock;
VX310DeviceNotifyFn g_callback = nullptr;
void* g_context = nullptr;
int32_t g_readResult = 1;
int32_t g_writeResult = 1;
unsigned long g_writeId = 7;
int g_counts[4] = {};  // init, read, write, free
tagDeviceParameters g_lastWrite{};

}  // namespace

FAKE_EXPORT int32_t VX310Device_Init(VX310DeviceNotifyFn callback, void* context) {
    std::lock_guard lock(g_lock);
    ++g_counts[0];
    g_callback = callback;
    g_context = context;
    return 1;
}

FAKE_EXPORT int32_t VX310Device_ReadAll(void) {
    std::lock_guard lock(g_lock);
    ++g_counts[1];
    return g_readResult;
}

FAKE_EXPORT int32_t VX310Device_WriteAll(tagDeviceParameters* params, unsigned long* requestId) {
    std::lock_guard lock(g_lock);
    ++g_counts[2];
    if (params) std::memcpy(&g_lastWrite, params, sizeof g_lastWrite);
    if (requestId) *requestId = g_writeId;
    return g_writeResult;
}

#ifndef FAKE_WITHOUT_FREE
FAKE_EXPORT void VX310Device_Free(void) {
    std::lock_guard lock(g_lock);
    ++g_counts[3];
    g_callback = nullptr;
}
#endif

FAKE_EXPORT void FakeDevice_Reset(void) {
    std::lock_guard lock(g_lock);
    g_readResult = 1;
    g_writeResult = 1;
    g_writeId = 7;
    std::memset(g_counts, 0, sizeof g_counts);
    std::memset(&g_lastWrite, 0, sizeof g_lastWrite);
}

FAKE_EXPORT void FakeDevice_SetResults(int32_t read, int32_t write, unsigned long id) {
    std::lock_guard lock(g_lock);
    g_readResult = read;
    g_writeResult = write;
    g_writeId = id;
}

// Calls the program's callback from another thread, as a real library would.
FAKE_EXPORT void FakeDevice_Notify(uint32_t w, uint32_t l) {
    VX310DeviceNotifyFn cb;
    void* ctx;
    {
        std::lock_guard lock(g_lock);
        cb = g_callback;
        ctx = g_context;
    }
    if (!cb) return;
    std::thread([=] { cb(ctx, w, l); }).join();
}

FAKE_EXPORT int FakeDevice_Count(int which) {
    std::lock_guard lock(g_lock);
    return which >= 0 && which < 4 ? g_counts[which] : 0;
}

FAKE_EXPORT void FakeDevice_LastWrite(tagDeviceParameters* out) {
    std::lock_guard lock(g_lock);
    std::memcpy(out, &g_lastWrite, sizeof g_lastWrite);
}
