/*
 * The C interface between the program, the interface-table agent (libinetmib1.so) and the SNMP
 * utility library (libsnmpapi.so). Any pair of libraries that honours it can serve the program;
 * the tests load agents of their own through it. Valid C and C++.
 *
 * Memory: every buffer a binding holds (the arcs of its name, a dynamic octet string, the arcs
 * of an object-identifier value) comes from SnmpUtilMemAlloc and is released by
 * SnmpUtilVarBindFree. An agent replaces a binding's name by freeing the old arcs and storing
 * new ones, and its value likewise.
 */
#ifndef SORVANE_SNMPABI_H
#define SORVANE_SNMPABI_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define SNMPABI_EXPORT __attribute__((visibility("default")))
#else
#define SNMPABI_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint32_t idLength;
    uint32_t* ids;
} AsnObjectIdentifier;

typedef struct {
    uint8_t* stream;
    uint32_t length;
    int32_t dynamic; /* nonzero: stream came from SnmpUtilMemAlloc */
} AsnOctetString;

typedef struct {
    uint8_t asnType;
    union { /* number, counter, gauge, ticks share the first 32-bit word */
        int32_t number;
        uint32_t unsigned32;
        uint32_t counter;
        uint32_t gauge;
        uint32_t ticks;
        uint64_t counter64;
        AsnOctetString string;
        AsnObjectIdentifier object;
    } asnValue;
} AsnAny;

typedef struct {
    AsnObjectIdentifier name;
    AsnAny value;
} SnmpVarBind;

typedef struct {
    SnmpVarBind* list;
    uint32_t len;
} SnmpVarBindList;

/* ASN types */
#define ASN_INTEGER 0x02
#define ASN_OCTETSTRING 0x04
#define ASN_NULL 0x05
#define ASN_OBJECTIDENTIFIER 0x06
#define ASN_COUNTER32 0x41
#define ASN_GAUGE32 0x42
#define ASN_TIMETICKS 0x43

/* request types */
#define SNMP_PDU_GET 0xA0
#define SNMP_PDU_GETNEXT 0xA1

/* error status */
#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_NOSUCHNAME 2

/* libinetmib1.so. Both return nonzero for true. */
SNMPABI_EXPORT int32_t SnmpExtensionInit(uint32_t timeZeroReference, void** trapEvent,
                                         AsnObjectIdentifier* supportedView);
SNMPABI_EXPORT int32_t SnmpExtensionQuery(uint8_t requestType, SnmpVarBindList* bindings,
                                          int32_t* errorStatus, int32_t* errorIndex);

/* libsnmpapi.so */
SNMPABI_EXPORT int32_t SnmpUtilOidCpy(AsnObjectIdentifier* dst, const AsnObjectIdentifier* src);
SNMPABI_EXPORT void* SnmpUtilMemAlloc(uint32_t bytes);
SNMPABI_EXPORT void SnmpUtilMemFree(void* p);
SNMPABI_EXPORT void SnmpUtilVarBindFree(SnmpVarBind* binding);

/* Function types for run-time look-up. */
typedef int32_t (*SnmpExtensionInitFn)(uint32_t, void**, AsnObjectIdentifier*);
typedef int32_t (*SnmpExtensionQueryFn)(uint8_t, SnmpVarBindList*, int32_t*, int32_t*);
typedef int32_t (*SnmpUtilOidCpyFn)(AsnObjectIdentifier*, const AsnObjectIdentifier*);
typedef void* (*SnmpUtilMemAllocFn)(uint32_t);
typedef void (*SnmpUtilMemFreeFn)(void*);
typedef void (*SnmpUtilVarBindFreeFn)(SnmpVarBind*);

#ifdef __cplusplus
}
#endif

#endif
