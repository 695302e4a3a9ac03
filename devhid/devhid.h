/* devhid: the HID library the updater reaches its controller through.
 *
 * The same ten functions as the device maker's closed library, for Linux and Windows (as
 * devhid.dll with its import library, so that the maker's DLL can take its place). Every argument
 * and result is 32 bits wide except the two handles. A HID number is the library's number
 * for one attached device: 1, 2, 3, ... in the order the devices arrive, never reused while
 * the library runs. All functions may be called from any thread.
 *
 * Notifications. On Windows HID_SetCallback's first argument is the window handle (HWND)
 * that receives the messages: the library posts them with PostMessage, wParam as below and
 * lParam 0. Linux has no hidden window, so there the first argument is a pointer to a
 * HID_NotifyTarget that the program fills in. The library calls its `post` for every event,
 * from one thread, in the order of the events (as PostMessage would):
 *   removal message  device removed         wParam = its HID number
 *   arrival message  device arrived         wParam = its HID number
 *   input message    input report waiting   wParam = its HID number
 * `post` must return quickly and must not call HID_SetCallback, HID_Stop or HID_Finalize.
 * After HID_SetCallback or HID_Stop has returned, the previous target is never called again.
 */
#ifndef DEVHID_H
#define DEVHID_H

#include <stdint.h>

#if defined(_WIN32) && defined(DEVHID_BUILDING)
#  define DEVHID_API __declspec(dllexport)
#elif defined(_WIN32)
#  define DEVHID_API __declspec(dllimport)
#elif defined(DEVHID_BUILDING)
#  define DEVHID_API __attribute__((visibility("default")))
#else
#  define DEVHID_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The largest report HID_Input returns and HID_Write accepts, and the room
 * HID_EnumHIDno needs. */
#define HID_REPORT_CAPACITY 256
#define HID_LIST_CAPACITY 128

typedef void (*HID_PostProc) (void* context, unsigned int message, unsigned int wParam);

typedef struct HID_NotifyTarget
{
    HID_PostProc post;
    void* context;
} HID_NotifyTarget;

/* Prepares the library; `instance` is the program's module handle (not used on Linux).
 * Returns 1. */
DEVHID_API int32_t HID_Initialize (void* instance);

/* Sets where the three messages go: `target` is the window's HWND on Windows and a
 * HID_NotifyTarget* (copied at once) on Linux. A null
 * target (the program passes null, 0, 0, 0 on closing) stops all notifications. Returns 1. */
DEVHID_API int32_t HID_SetCallback (void* target, int32_t inputMessage,
                                    int32_t arrivalMessage, int32_t removalMessage);

/* Starts listening for devices; events flow from here on. Returns 1 when listening, 0 when
 * the bus name (on Windows the bus's TCP port) is taken; the library then keeps trying in
 * the background. */
DEVHID_API int32_t HID_Start (void);

/* Stops listening and drops every device without notifications. Returns 1. */
DEVHID_API int32_t HID_Stop (void);

/* Stops if running and forgets the notification target. Returns 1. */
DEVHID_API int32_t HID_Finalize (void);

/* Writes the HID numbers of the attached devices, in ascending order, to `hidNumbers`
 * (room for HID_LIST_CAPACITY) and returns how many it wrote: never more than 128. */
DEVHID_API int32_t HID_EnumHIDno (int32_t* hidNumbers);

/* The device type code of a HID number; -1 when no such device is attached. */
DEVHID_API int32_t HID_GetDeviceType (int32_t hidNumber);

/* versions[0] = firmware version (major × 100 + minor) of the first listed device of
 * `deviceType`, 0 when there is none; versions[1] = 0. `reserved` is not interpreted (the
 * updater passes 1). Returns 1 when such a device is attached, else 0. */
DEVHID_API int32_t HID_GetFirmwareVersion (int32_t deviceType, int32_t* versions, int32_t reserved);

/* Moves the oldest waiting input report of `hidNumber` into `buffer`. On entry *length is
 * the buffer's size; on return the number of bytes stored, 0 when no report waits. A report
 * longer than the buffer is cut to it. Returns 1 when a report was stored, else 0. */
DEVHID_API int32_t HID_Input (int32_t hidNumber, uint8_t* buffer, int32_t* length);

/* Sends one output report of 1 to 256 bytes to the device. Returns non-zero when the whole
 * report was handed to the device, 0 otherwise. Never blocks for more than about half a
 * second: a device that stops reading makes the write fail. */
DEVHID_API int32_t HID_Write (int32_t hidNumber, const uint8_t* data, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
