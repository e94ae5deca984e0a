/* An extension agent for the tests: serves a fixed view chosen by scenario, including broken and
 * hostile behaviour, and counts what it is asked. Written in C against the shared header. Built
 * with TESTAGENT_OMIT_INIT or TESTAGENT_OMIT_QUERY to leave one entry point out. */
#include "testagent.h"
#include "snmpabi.h"

#include <stdlib.h>
#include <string.h>

#define MAX_ENTRIES 64
#define GEN_ERR 5

typedef struct {
    uint32_t* ids;
    uint32_t length;
    uint8_t type;
    uint32_t number;
    const char* octets; /* OCTET STRING content, `octetLength` bytes */
    uint32_t octetLength;
    int nullStream; /* hostile: no stream behind a nonzero length */
} Entry;

static const uint32_t ifEntry[9] = {1, 3, 6, 1, 2, 1, 2, 2, 1};

static Entry view[MAX_ENTRIES];
static int viewSize;
static int scenario;
static TestAgentStats stats;

static void clearView(void) {
    for (int i = 0; i < viewSize; ++i)
        free(view[i].ids);
    memset(view, 0, sizeof view);
    viewSize = 0;
}

/* An entry named ifEntry.column.instance..., the instance being `count` arcs, of which the last
 * `fill` arcs (after the first) repeat 7: enough to make names of any length. */
static Entry* addName(uint32_t column, uint32_t instance, uint32_t extraArcs) {
    Entry* e = &view[viewSize++];
    e->length = 11 + extraArcs;
    e->ids = calloc(e->length, sizeof *e->ids);
    memcpy(e->ids, ifEntry, sizeof ifEntry);
    e->ids[9] = column;
    e->ids[10] = instance;
    for (uint32_t i = 11; i < e->length; ++i)
        e->ids[i] = 7;
    return e;
}

static void addNumber(uint32_t column, uint32_t instance, uint8_t type, uint32_t number) {
    Entry* e = addName(column, instance, 0);
    e->type = type;
    e->number = number;
}

static void addOctets(uint32_t column, uint32_t instance, uint32_t extraArcs, const char* octets,
                      uint32_t length) {
    Entry* e = addName(column, instance, extraArcs);
    e->type = ASN_OCTETSTRING;
    e->octets = octets;
    e->octetLength = length;
}

static int compareNames(const uint32_t* a, uint32_t aLength, const uint32_t* b, uint32_t bLength) {
    uint32_t n = aLength < bLength ? aLength : bLength;
    for (uint32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

static int compareEntries(const void* a, const void* b) {
    const Entry* x = a;
    const Entry* y = b;
    return compareNames(x->ids, x->length, y->ids, y->length);
}

static uint32_t counterOf(uint32_t column, uint32_t index) {
    if (column == 10 && index == 7) return 0xFFFFFFFFu;
    if (column == 16 && index == 2) return 0x80000000u;
    return column * 100000u + index;
}

static void buildSeveral(void) {
    static const uint32_t index[3] = {1, 2, 7};
    static const char* const descr[3] = {"lo", "eth0\0", "wlan0"};
    static const uint32_t descrLength[3] = {2, 5, 5};
    static const uint32_t type[3] = {24, 6, 6};
    static const uint32_t mtu[3] = {65536, 1500, 0xFFFFFFFFu};
    static const uint32_t speed[3] = {10000000, 1000000000, 0xFFFFFFFFu};
    static const char* const phys[3] = {"", "\x00\xA0\xC9\x14\xC8\x29", "\x0a\x1b\x2c\x3d\x4e\x5f"};
    static const uint32_t physLength[3] = {0, 6, 6};
    static const uint32_t status[3] = {1, 1, 2};
    static const uint32_t lastChange[3] = {0, 12345, 0xFFFFFFFFu};
    for (int r = 0; r < 3; ++r) {
        addNumber(1, index[r], ASN_INTEGER, index[r]);
        addOctets(2, index[r], 0, descr[r], descrLength[r]);
        addNumber(3, index[r], ASN_INTEGER, type[r]);
        addNumber(4, index[r], ASN_INTEGER, mtu[r]);
        addNumber(5, index[r], ASN_GAUGE32, speed[r]);
        addOctets(6, index[r], 0, phys[r], physLength[r]);
        addNumber(7, index[r], ASN_INTEGER, status[r]);
        addNumber(8, index[r], ASN_INTEGER, status[r]);
        addNumber(9, index[r], ASN_TIMETICKS, lastChange[r]);
        for (uint32_t c = 10; c <= 20; ++c)
            addNumber(c, index[r], ASN_COUNTER32, counterOf(c, index[r]));
        addNumber(21, index[r], ASN_GAUGE32, counterOf(21, index[r]));
    }
    /* Something after ifTable, as a full agent would have. */
    Entry* after = &view[viewSize++];
    static const uint32_t ipForwarding[9] = {1, 3, 6, 1, 2, 1, 4, 1, 0};
    after->length = 9;
    after->ids = malloc(sizeof ipForwarding);
    memcpy(after->ids, ipForwarding, sizeof ipForwarding);
    after->type = ASN_INTEGER;
    after->number = 2;
}

/* The view's names go with the library. */
__attribute__((destructor)) static void releaseView(void) {
    clearView();
}

#define COUNTER_ROWS 8
static uint32_t counterRows;
static uint32_t inOctets[COUNTER_ROWS], outOctets[COUNTER_ROWS];
static int absent[COUNTER_ROWS];

/* Rows with ifIndex 1, 2, ...; a speed column too, which gives no readings. */
static void buildCounters(void) {
    clearView();
    for (uint32_t r = 0; r < counterRows; ++r) {
        if (absent[r]) continue;
        addNumber(1, r + 1, ASN_INTEGER, r + 1);
        addOctets(2, r + 1, 0, "if", 2);
        addNumber(5, r + 1, ASN_GAUGE32, 1000000000u);
        addNumber(10, r + 1, ASN_COUNTER32, inOctets[r]);
        addNumber(16, r + 1, ASN_COUNTER32, outOctets[r]);
    }
    qsort(view, (size_t)viewSize, sizeof view[0], compareEntries);
}

SNMPABI_EXPORT void testagent_set_octets(uint32_t row, uint32_t in, uint32_t out) {
    if (row >= COUNTER_ROWS) return;
    inOctets[row] = in;
    outOctets[row] = out;
    if (scenario == TESTAGENT_COUNTERS) buildCounters();
}

SNMPABI_EXPORT void testagent_set_present(uint32_t row, int present) {
    if (row >= COUNTER_ROWS) return;
    absent[row] = !present;
    if (scenario == TESTAGENT_COUNTERS) buildCounters();
}

SNMPABI_EXPORT void testagent_configure(int chosen, uint32_t param) {
    clearView();
    memset(&stats, 0, sizeof stats);
    scenario = chosen;
    switch (chosen) {
    case TESTAGENT_SEVERAL:
    case TESTAGENT_FAILING_INIT:
        buildSeveral();
        break;
    case TESTAGENT_NO_ROWS: {
        Entry* after = addName(1, 0, 0);
        after->ids[6] = 4; /* 1.3.6.1.2.1.4...: past the interfaces group */
        after->type = ASN_INTEGER;
        break;
    }
    case TESTAGENT_NO_VIEW:
        break;
    case TESTAGENT_LATE_KEYS:
        addNumber(1, 1, ASN_INTEGER, 1);
        addNumber(1, 2, ASN_INTEGER, 2);
        addOctets(2, 1, 0, "a", 1);
        addOctets(2, 2, 0, "b", 1);
        addOctets(2, 3, 0, "c", 1);
        addNumber(10, 5, ASN_COUNTER32, 5);
        {
            Entry* twoArcs = addName(10, 2, 1); /* key "2.7" */
            twoArcs->type = ASN_COUNTER32;
            twoArcs->number = 27;
        }
        break;
    case TESTAGENT_OVERLONG:
        addOctets(2, 1, 0, "a", 1);
        addOctets(2, 1, 189, "b", 1); /* 200 arcs */
        addOctets(2, 2, param > 11 ? param - 11 : 0, "c", 1);
        addOctets(2, 3, 0, "d", 1);
        addNumber(10, 1, ASN_COUNTER32, 5);
        break;
    case TESTAGENT_BACKWARDS:
    case TESTAGENT_REPEAT:
        addOctets(2, 1, 0, "a", 1);
        addOctets(2, 2, 0, "b", 1);
        addOctets(2, 3, 0, "c", 1);
        addNumber(10, 1, ASN_COUNTER32, 5);
        break;
    case TESTAGENT_NON_STRING: {
        addNumber(1, 1, ASN_INTEGER, 1);
        addNumber(1, 2, ASN_INTEGER, 2);
        addNumber(2, 1, ASN_INTEGER, 0x41414141);
        Entry* hollow = addName(2, 2, 0);
        hollow->type = ASN_OCTETSTRING;
        hollow->octetLength = 5;
        hollow->nullStream = 1;
        addNumber(6, 1, ASN_COUNTER32, 7);
        addNumber(6, 2, ASN_OBJECTIDENTIFIER, 0);
        addNumber(10, 1, ASN_COUNTER32, 10);
        addNumber(10, 2, ASN_COUNTER32, 20);
        break;
    }
    case TESTAGENT_QUERY_FALSE:
    case TESTAGENT_ERROR_STATUS:
        for (uint32_t i = 1; i <= 3; ++i) {
            addNumber(10, i, ASN_COUNTER32, 11 * i);
            addNumber(16, i, ASN_COUNTER32, 100 * i);
        }
        break;
    case TESTAGENT_ENDLESS:
        addNumber(10, 1, ASN_COUNTER32, 5);
        break;
    case TESTAGENT_COUNTERS:
        counterRows = param < COUNTER_ROWS ? param : COUNTER_ROWS;
        memset(inOctets, 0, sizeof inOctets);
        memset(outOctets, 0, sizeof outOctets);
        memset(absent, 0, sizeof absent);
        buildCounters();
        return;
    default:
        break;
    }
    qsort(view, (size_t)viewSize, sizeof view[0], compareEntries);
}

SNMPABI_EXPORT void testagent_stats(TestAgentStats* out) {
    *out = stats;
}

#ifndef TESTAGENT_OMIT_INIT
SNMPABI_EXPORT int32_t SnmpExtensionInit(uint32_t timeZeroReference, void** trapEvent,
                                         AsnObjectIdentifier* supportedView) {
    ++stats.initCalls;
    stats.timeZeroReference = timeZeroReference;
    *trapEvent = NULL;
    supportedView->idLength = 0;
    supportedView->ids = NULL;
    return scenario != TESTAGENT_FAILING_INIT;
}
#endif

#ifndef TESTAGENT_OMIT_QUERY
static void* allocate(size_t bytes) {
    ++stats.allocations;
    return calloc(1, bytes == 0 ? 1 : bytes);
}

static void release(void* p) {
    if (p != NULL) ++stats.frees;
    free(p);
}

static void answer(SnmpVarBind* b, const Entry* e, const uint32_t* ids, uint32_t length) {
    uint32_t* name = allocate(length * sizeof *name);
    memcpy(name, ids, length * sizeof *name);
    release(b->name.ids);
    b->name.ids = name;
    b->name.idLength = length;

    if (b->value.asnType == ASN_OCTETSTRING && b->value.asnValue.string.dynamic)
        release(b->value.asnValue.string.stream);
    else if (b->value.asnType == ASN_OBJECTIDENTIFIER)
        release(b->value.asnValue.object.ids);
    memset(&b->value, 0, sizeof b->value);
    b->value.asnType = e->type;
    if (e->type == ASN_OCTETSTRING) {
        b->value.asnValue.string.length = e->octetLength;
        if (!e->nullStream && e->octetLength > 0) {
            b->value.asnValue.string.stream = allocate(e->octetLength);
            memcpy(b->value.asnValue.string.stream, e->octets, e->octetLength);
            b->value.asnValue.string.dynamic = 1;
        }
    } else if (e->type == ASN_OBJECTIDENTIFIER) {
        b->value.asnValue.object.ids = allocate(3 * sizeof(uint32_t));
        b->value.asnValue.object.idLength = 3;
    } else {
        b->value.asnValue.unsigned32 = e->number;
    }
}

static int named(const SnmpVarBind* b, uint32_t column, uint32_t instance) {
    const uint32_t want[11] = {1, 3, 6, 1, 2, 1, 2, 2, 1, column, instance};
    return compareNames(b->name.ids, b->name.idLength, want, 11) == 0;
}

static const Entry* entryNamed(uint32_t column, uint32_t instance) {
    for (int i = 0; i < viewSize; ++i)
        if (view[i].length == 11 && view[i].ids[9] == column && view[i].ids[10] == instance)
            return &view[i];
    return NULL;
}

SNMPABI_EXPORT int32_t SnmpExtensionQuery(uint8_t requestType, SnmpVarBindList* bindings,
                                          int32_t* errorStatus, int32_t* errorIndex) {
    ++stats.queries;
    *errorStatus = 0;
    *errorIndex = 0;
    if (requestType != SNMP_PDU_GETNEXT || bindings->len != 1) {
        *errorStatus = GEN_ERR;
        return 0;
    }
    SnmpVarBind* b = &bindings->list[0];

    if ((scenario == TESTAGENT_BACKWARDS || scenario == TESTAGENT_REPEAT) && named(b, 2, 2)) {
        const Entry* e = entryNamed(2, scenario == TESTAGENT_BACKWARDS ? 1 : 2);
        answer(b, e, e->ids, e->length);
        return 1;
    }
    if (scenario == TESTAGENT_QUERY_FALSE && named(b, 10, 2)) return 0;
    if (scenario == TESTAGENT_ERROR_STATUS && named(b, 10, 2)) {
        *errorStatus = GEN_ERR;
        *errorIndex = 1;
        return 1;
    }
    if (scenario == TESTAGENT_ENDLESS && b->name.idLength >= 10 &&
        compareNames(b->name.ids, 9, ifEntry, 9) == 0 && b->name.ids[9] == 2) {
        static const Entry row = {NULL, 0, ASN_OCTETSTRING, 0, "x", 1, 0};
        uint32_t next[11] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 1};
        if (b->name.idLength > 10) next[10] = b->name.ids[10] + 1;
        answer(b, &row, next, 11);
        return 1;
    }

    for (int i = 0; i < viewSize; ++i) {
        if (compareNames(view[i].ids, view[i].length, b->name.ids, b->name.idLength) > 0) {
            answer(b, &view[i], view[i].ids, view[i].length);
            return 1;
        }
    }
    *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
    *errorIndex = 1;
    return 1;
}
#endif
