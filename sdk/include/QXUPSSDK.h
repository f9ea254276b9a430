/*
 * QXUPSSDK: Modbus master (RTU and ASCII) for the DC UPS module on a serial line.
 *
 * The one declaration of the records and result codes shared by the library and
 * the program. Every function blocks until its request is answered, has failed
 * or has timed out, and returns a ResultCode.
 */
#ifndef QXUPSSDK_H
#define QXUPSSDK_H

#include <stdint.h>

#if defined(_WIN32) && defined(QXUPSSDK_BUILDING)
#define QXUPS_API __declspec(dllexport)
#elif defined(_WIN32)
#define QXUPS_API __declspec(dllimport)
#else
#define QXUPS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
enum ResultCode : int32_t {
#else
typedef int32_t ResultCode;
enum {
#endif
    Success = 0,
    InvalidArgument = 2,
    PortError = 3,
    NoResource = 4,
    IoError = 5,
    IllegalState = 6,
    InProgress = 7,
    TimedOut = 8,
    ExceptionIllegalFunction = 10,
    ExceptionIllegalDataAddress = 11,
    ExceptionIllegalDataValue = 12,
    ExceptionSlaveDeviceFailure = 13,
    ExceptionAcknowledge = 14,
    ExceptionSlaveDeviceBusy = 15,
    ExceptionMemoryParityError = 16,
    ExceptionGatewayPathUnavailable = 17,
    ExceptionGatewayTargetFailed = 18
};

/* Caller-owned; the library reads the connection fields and writes handle and lastResult. */
typedef struct UPS_DeviceDescriptor {
    void* handle;               /* open device, null while closed */
    uint8_t framing;            /* 0 = RTU (8 data bits), else ASCII (7 data bits) */
    uint8_t portNumber;         /* 1 opens COM1 (see QXUPSPorts.h for the device path) */
    uint8_t slaveAddress;       /* 1..247, 0 = broadcast */
    uint8_t parity;             /* 1 = odd, 2 = even, else none */
    uint8_t stopBits;           /* not read: 2 without parity, 1 with */
    uint8_t dataBits;           /* not read: follows from framing */
    uint32_t baudRate;          /* bit/s, 0 refused */
    uint32_t responseTimeoutMs; /* used modulo 65536, 1..65534 */
    int32_t retryCount;         /* not read: the library never retries */
    int32_t lastResult;         /* ResultCode of the last open, read or write */
} UPS_DeviceDescriptor;

typedef struct UPS_DeviceInfo {
    uint16_t deviceType;      /* holding register 0 */
    uint16_t hardwareVersion; /* holding register 1 */
    uint16_t firmwareVersion; /* holding register 2 */
    uint16_t driverVersion;   /* 1000 */
} UPS_DeviceInfo;

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the device described by the record, reads its identification into info (may be null). */
QXUPS_API ResultCode UPS_DeviceOpen(UPS_DeviceDescriptor* device, UPS_DeviceInfo* info);
/* Closes the device and clears the handle; Success for any non-null record. */
QXUPS_API ResultCode UPS_DeviceClose(UPS_DeviceDescriptor* device);
/* Reads count (1..125) holding registers at address + 25536 (mod 65536). */
QXUPS_API ResultCode UPS_ReadRegisters(UPS_DeviceDescriptor* device, uint16_t address,
                                       uint8_t count, uint16_t* values);
/* Writes count (1..123) holding registers at address + 25536 (mod 65536). */
QXUPS_API ResultCode UPS_WriteRegisters(UPS_DeviceDescriptor* device, uint16_t address,
                                        uint8_t count, const uint16_t* values);

#ifdef __cplusplus
}
#endif

#endif /* QXUPSSDK_H */
