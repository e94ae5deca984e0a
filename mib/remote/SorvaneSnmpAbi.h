/*
 * The C interface of libsorvanesnmp.so, the module that walks a remote agent's interface table
 * with Net-SNMP. The program finds sorvane_snmp_interface with dlsym and calls the rest through
 * the table it returns, so nothing of Net-SNMP is mapped until a remote agent is used.
 * Valid C and C++.
 */
#ifndef SORVANE_SNMPREMOTEABI_H
#define SORVANE_SNMPREMOTEABI_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define SORVANESNMP_EXPORT __attribute__((visibility("default")))
#else
#define SORVANESNMP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever a function or argument below changes meaning. */
#define SORVANE_SNMP_ABI_VERSION 1u

/* The walk's outcome; the same numbers as TZSNMPRemoteError. */
enum {
    SORVANE_SNMP_OK = 0,
    SORVANE_SNMP_MODULE_MISSING = 1,
    SORVANE_SNMP_BAD_SETTINGS = 2,
    SORVANE_SNMP_HOST_UNKNOWN = 3,
    SORVANE_SNMP_TIMEOUT = 4,
    SORVANE_SNMP_AUTHENTICATION = 5,
    SORVANE_SNMP_REFUSED = 6
};

/* Strings are read during open only; NULL reads as empty. */
typedef struct {
    const char* host;
    int32_t version; /* 2 for v2c, 3 */
    const char* community;
    const char* user;
    const char* authProtocol; /* "MD5", "SHA", "SHA-256", "SHA-512", or empty */
    const char* authPassphrase;
    const char* privProtocol; /* "DES", "AES", or empty */
    const char* privPassphrase;
} SorvaneSnmpAgent;

/* One cell: its ifTable column (1..21; the 64-bit octet counters come as 10 and 16, folded to
 * their low 32 bits), the row's ifIndex, and either a number or, where isOctets is nonzero,
 * length octets (octets is then never NULL). Cells come column by column, each column in the
 * agent's order. */
typedef void (*SorvaneSnmpCellFn)(void* context, uint32_t column, uint32_t ifIndex, uint32_t number,
                                  const uint8_t* octets, uint32_t length, int32_t isOctets);

typedef struct SorvaneSnmpSession SorvaneSnmpSession;

typedef struct SorvaneSnmpInterface {
    uint32_t abiVersion;
    /* Checks the settings and makes the keys; sends nothing. NULL, with *error set, when they
     * are unusable. */
    SorvaneSnmpSession* (*open)(const SorvaneSnmpAgent* agent, int32_t* error);
    /* Walks the columns whose bits are set (bit n: column n + 1) within timeoutMicroseconds,
     * blocking; at most maxRows rows, octet strings cut to maxOctets. Returns the outcome; the
     * cells walked before a failure are given all the same. One thread at a time per session. */
    int32_t (*walk)(SorvaneSnmpSession* session, uint32_t columns, int64_t timeoutMicroseconds,
                    uint32_t maxRows, uint32_t maxOctets, SorvaneSnmpCellFn cell, void* context);
    void (*close)(SorvaneSnmpSession* session);
} SorvaneSnmpInterface;

SORVANESNMP_EXPORT const SorvaneSnmpInterface* sorvane_snmp_interface(void);
typedef const SorvaneSnmpInterface* (*SorvaneSnmpInterfaceFn)(void);

#ifdef __cplusplus
}
#endif

#endif
