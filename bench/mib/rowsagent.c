/* An extension agent for the load benchmark: an interface table of any number of rows, named
 * 1 .. rows, with only the two octet columns, every answer computed on the spot so that the
 * agent itself costs next to nothing. The allocator is the C library's, as the utility
 * library's is. */
#include "snmpabi.h"

#include <stdlib.h>
#include <string.h>

#define IN_OCTETS 10u
#define OUT_OCTETS 16u

static const uint32_t ifEntry[9] = {1, 3, 6, 1, 2, 1, 2, 2, 1};
static uint32_t rows;

SNMPABI_EXPORT void rowsagent_set_rows(uint32_t count) {
    rows = count;
}

SNMPABI_EXPORT int32_t SnmpExtensionInit(uint32_t timeZeroReference, void** trapEvent,
                                         AsnObjectIdentifier* supportedView) {
    (void)timeZeroReference;
    *trapEvent = NULL;
    supportedView->idLength = 0;
    supportedView->ids = NULL;
    return 1;
}

/* The next (column, row) after the name, or 0 when the table ends before it. */
static int nextAfter(const uint32_t* ids, uint32_t length, uint32_t* column, uint32_t* row) {
    uint32_t n = length < 9 ? length : 9;
    for (uint32_t i = 0; i < n; ++i) {
        if (ids[i] < ifEntry[i]) goto first;
        if (ids[i] > ifEntry[i]) return 0;
    }
    if (length <= 9 || ids[9] < IN_OCTETS) goto first;
    if (ids[9] > OUT_OCTETS) return 0;
    *column = ids[9] == IN_OCTETS || ids[9] == OUT_OCTETS ? ids[9] : OUT_OCTETS;
    *row = 1;
    if (ids[9] == *column && length > 10) {
        if (ids[10] >= rows) {
            if (*column == OUT_OCTETS) return 0;
            *column = OUT_OCTETS;
        } else {
            *row = ids[10] + 1;
        }
    }
    return rows > 0;
first:
    *column = IN_OCTETS;
    *row = 1;
    return rows > 0;
}

SNMPABI_EXPORT int32_t SnmpExtensionQuery(uint8_t requestType, SnmpVarBindList* bindings,
                                          int32_t* errorStatus, int32_t* errorIndex) {
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    if (requestType != SNMP_PDU_GETNEXT || bindings->len != 1) {
        *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
        *errorIndex = 1;
        return 1;
    }
    SnmpVarBind* b = &bindings->list[0];
    uint32_t column = 0;
    uint32_t row = 0;
    if (!nextAfter(b->name.ids, b->name.idLength, &column, &row)) {
        *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
        *errorIndex = 1;
        return 1;
    }
    uint32_t* name = calloc(11, sizeof *name);
    if (name == NULL) return 0;
    memcpy(name, ifEntry, sizeof ifEntry);
    name[9] = column;
    name[10] = row;
    free(b->name.ids);
    b->name.ids = name;
    b->name.idLength = 11;
    b->value.asnType = ASN_COUNTER32;
    b->value.asnValue.counter = row * 1000u + column;
    return 1;
}
