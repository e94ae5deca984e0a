/* A utility library for the test agents that counts allocations and frees, so a test can see that
 * every buffer of every binding was released exactly once. Built with TESTAPI_OMIT_<NAME> to
 * leave one entry point out. */
#include "snmpabi.h"
#include "testagent.h"

#include <stdlib.h>
#include <string.h>

static TestApiStats counts;

static void release(void* p) {
    if (p != NULL) ++counts.frees;
    free(p);
}

#ifndef TESTAPI_OMIT_MEMALLOC
SNMPABI_EXPORT void* SnmpUtilMemAlloc(uint32_t bytes) {
    ++counts.allocations;
    return calloc(1, bytes == 0 ? 1 : bytes);
}
#endif

SNMPABI_EXPORT void SnmpUtilMemFree(void* p) {
    release(p);
}

#ifndef TESTAPI_OMIT_OIDCPY
SNMPABI_EXPORT int32_t SnmpUtilOidCpy(AsnObjectIdentifier* dst, const AsnObjectIdentifier* src) {
    ++counts.oidCopies;
    uint32_t n = src->idLength;
    dst->idLength = 0;
    dst->ids = NULL;
    if (n == 0) return 1;
    ++counts.allocations;
    uint32_t* ids = malloc(n * sizeof *ids);
    if (ids == NULL) return 0;
    memcpy(ids, src->ids, n * sizeof *ids);
    dst->ids = ids;
    dst->idLength = n;
    return 1;
}
#endif

#ifndef TESTAPI_OMIT_VARBINDFREE
SNMPABI_EXPORT void SnmpUtilVarBindFree(SnmpVarBind* b) {
    ++counts.varBindFrees;
    release(b->name.ids);
    b->name.ids = NULL;
    b->name.idLength = 0;
    if (b->value.asnType == ASN_OCTETSTRING && b->value.asnValue.string.dynamic)
        release(b->value.asnValue.string.stream);
    else if (b->value.asnType == ASN_OBJECTIDENTIFIER)
        release(b->value.asnValue.object.ids);
    memset(&b->value, 0, sizeof b->value);
    b->value.asnType = ASN_NULL;
}
#endif

SNMPABI_EXPORT void testapi_stats(TestApiStats* stats) {
    *stats = counts;
}
SNMPABI_EXPORT void testapi_reset(void) {
    memset(&counts, 0, sizeof counts);
}
