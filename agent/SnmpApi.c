/* The SNMP utility library: allocation and the two binding helpers the program needs. Written in
 * C, so it cannot throw; the allocator is the C library's, which the agent shares. */
#include "snmpabi.h"

#include <stdlib.h>
#include <string.h>

void* SnmpUtilMemAlloc(uint32_t bytes) {
    /* Zeroed, and never NULL merely because zero bytes were asked for. */
    return calloc(1, bytes == 0 ? 1 : (size_t)bytes);
}

void SnmpUtilMemFree(void* p) {
    free(p);
}

/* dst is taken to hold nothing: its old arcs, if any, are the caller's to free first. */
int32_t SnmpUtilOidCpy(AsnObjectIdentifier* dst, const AsnObjectIdentifier* src) {
    if (dst == NULL || src == NULL) return 0;
    /* Read src before dst is touched: the two may be the same object. */
    const uint32_t count = src->idLength;
    const uint32_t* from = src->ids;
    dst->idLength = 0;
    dst->ids = NULL;
    if (count == 0) return 1;
    if (from == NULL || count > UINT32_MAX / sizeof(uint32_t)) return 0;
    uint32_t* ids = SnmpUtilMemAlloc(count * (uint32_t)sizeof(uint32_t));
    if (ids == NULL) return 0;
    memcpy(ids, from, (size_t)count * sizeof(uint32_t));
    dst->ids = ids;
    dst->idLength = count;
    return 1;
}

void SnmpUtilVarBindFree(SnmpVarBind* binding) {
    if (binding == NULL) return;
    free(binding->name.ids);
    binding->name.ids = NULL;
    binding->name.idLength = 0;
    switch (binding->value.asnType) {
    case ASN_OCTETSTRING:
        if (binding->value.asnValue.string.dynamic) free(binding->value.asnValue.string.stream);
        break;
    case ASN_OBJECTIDENTIFIER:
        free(binding->value.asnValue.object.ids);
        break;
    default:
        break;
    }
    memset(&binding->value, 0, sizeof binding->value);
    binding->value.asnType = ASN_NULL;
}
