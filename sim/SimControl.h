/* The simulator's control API for tests that run in the same process as
   FTD2XX.dll. These functions are exported by name only; take them with
   GetProcAddress(module, "SimConfigure") and so on. No windows.h needed. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Starts over: closes every handle (they become invalid), powers the
   controllers up with factory values and applies the scenario file at
   `scenarioPath`; null means TAVO_SIM_SCENARIO, else FTD2XX.sim.ini beside
   the DLL. Returns 1 when a file was read, 0 when the healthy defaults apply. */
int SimConfigure(const wchar_t* scenarioPath);
/* The same with the text of a scenario file ("[Simulator]\nDevices=2\n").
   Returns 1, or 0 when the text could not be taken (the defaults apply). */
int SimConfigureText(const wchar_t* scenarioText);

/* Every FT_Write since the last configuration, in order, those that failed
   too. SimGetFrame copies up to 128 bytes of write `index` and returns how
   many bytes that write had (at most 128 are copied; 0 for a write that
   failed), or -1 when there is no such write. */
unsigned SimFrameCount(void);
int SimGetFrame(unsigned index, unsigned char out[128]);
/* The device (numbered from 0) write `index` went to, or -1; the open
   (numbered from 1, as SimOpenCount counts them) whose handle wrote it, or
   -1; and 1 when its controller carried the frame out (a silent one takes
   it and does nothing). */
int SimFrameDevice(unsigned index);
int SimFrameOpen(unsigned index);
int SimFrameCarriedOut(unsigned index);

/* Every frame a controller assembled from what reached it and took, in
   order. The controller cannot find a frame's start: a frame cut short takes
   the next bytes as its rest, so Opcode is what it read at byte 64, which
   may come from another frame. Sek: for an install or a burn the frame's
   own SEK, for any other frame the SEK its RAM held when it took it (a 'd'
   with a SEK other than 0 welds). Aligned: the frame began with the first
   byte of a write. AfterBoot: the first frame since a restart. */
typedef struct SimExecution {
    int Device;
    int Write;              /* the write whose byte completed the frame */
    unsigned char Opcode;
    unsigned char Sek;
    unsigned char CarriedOut; /* 0 when a silent controller took it */
    unsigned char Aligned;
    unsigned char AfterBoot;
} SimExecution;
unsigned SimExecutionCount(void);
int SimGetExecution(unsigned index, SimExecution* out);

/* The first device's controller switched off and on while its adapter stays
   (powered from USB): RAM from ROM at once, what it was sending stops, and
   for `bootMs` it hears nothing; then it listens from the first moment the
   line is idle. SimPartialFrameBytes: bytes of a frame it has begun and not
   completed (0 when its framing is in step with a host that writes whole
   frames). */
void SimRestart(unsigned bootMs);
unsigned SimPartialFrameBytes(void);

/* The first device's controller memory; 1 on success, 0 without a device. */
int SimGetRam(unsigned char out[64]);
int SimGetRom(unsigned char out[64]);
int SimSetRam(const unsigned char block[64]);

/* Handles opened and not yet closed, those of an unplugged device included. */
unsigned SimOpenHandles(void);

/* Pulls and puts back the USB cable: the main window of class "TAVO" in
   this process receives WM_DEVICECHANGE from a simulator thread. */
void SimUnplug(void);
void SimReplug(void);
/* One device of several (numbered from 0; its serial number is TAVO0001 for
   0 and so on): only its handle dies, only its notice is sent. */
void SimUnplugDevice(unsigned device);
void SimReplugDevice(unsigned device);

/* Device notices (plug and unplug) the main window has not taken yet. */
unsigned SimNoticesPending(void);
/* Successful FT_OpenEx calls since the last configuration. */
unsigned SimOpenCount(void);
/* Devices closed after the caller had already closed the event it had
   registered with FT_SetEventNotification (which the driver may set until
   the device is closed). */
unsigned SimNotificationsClosedFirst(void);

/* Faults switched while the program runs, without starting over: the D2XX
   function `call` ("FT_StopInTask", ...; empty for none) fails with `status`
   `count` times (-1: for ever); the controllers fall silent or answer 'l'
   with `bytes` bytes. */
void SimSetFailure(const char* call, unsigned status, int count);
void SimSetSilent(int silent);
void SimSetListReplyBytes(unsigned bytes);
/* The next `count` FT_Write calls (-1: all) take only `bytes` bytes of each
   frame (0: writes are whole again); FT_OpenEx takes `ms` milliseconds. */
void SimSetShortWrites(unsigned bytes, int count);
void SimSetOpenDelay(unsigned ms);

typedef int (*SimConfigureFn)(const wchar_t*);
typedef int (*SimConfigureTextFn)(const wchar_t*);
typedef unsigned (*SimFrameCountFn)(void);
typedef int (*SimGetFrameFn)(unsigned, unsigned char*);
typedef int (*SimFrameDeviceFn)(unsigned);
typedef int (*SimGetBlockFn)(unsigned char*);
typedef int (*SimSetRamFn)(const unsigned char*);
typedef unsigned (*SimOpenHandlesFn)(void);
typedef void (*SimPlugFn)(void);
typedef void (*SimPlugDeviceFn)(unsigned);
typedef unsigned (*SimOpenCountFn)(void);
typedef void (*SimSetFailureFn)(const char*, unsigned, int);
typedef void (*SimSetSilentFn)(int);
typedef void (*SimSetListReplyBytesFn)(unsigned);
typedef void (*SimSetShortWritesFn)(unsigned, int);
typedef void (*SimSetOpenDelayFn)(unsigned);
typedef int (*SimGetExecutionFn)(unsigned, SimExecution*);
typedef void (*SimRestartFn)(unsigned);

#ifdef __cplusplus
}
#endif
