/* Control interface of the test agents, reached through dlsym on the loaded library. */
#ifndef SORVANE_TESTAGENT_H
#define SORVANE_TESTAGENT_H

#include <stdint.h>

enum TestAgentScenario {
    TESTAGENT_SEVERAL,      /* three interfaces, every column */
    TESTAGENT_NO_ROWS,      /* the first GetNext leaves ifTable */
    TESTAGENT_NO_VIEW,      /* nothing at all: noSuchName straight away */
    TESTAGENT_LATE_KEYS,    /* keys first named in later columns, keys of several arcs */
    TESTAGENT_FAILING_INIT, /* SnmpExtensionInit answers false */
    TESTAGENT_OVERLONG,     /* ifDescr: row 1, a name of 200 arcs, then one of `param` arcs */
    TESTAGENT_BACKWARDS,    /* ifDescr: after row 2 the answer goes back to row 1 */
    TESTAGENT_REPEAT,       /* ifDescr: after row 2 the answer repeats row 2's name */
    TESTAGENT_NON_STRING,   /* ifDescr and ifPhysAddress with types other than OCTET STRING */
    TESTAGENT_QUERY_FALSE,  /* ifInOctets: false when asked after row 2 */
    TESTAGENT_ERROR_STATUS, /* ifInOctets: genErr when asked after row 2 */
    TESTAGENT_ENDLESS,      /* ifDescr never ends: every answer is one row further */
    TESTAGENT_COUNTERS,     /* `param` interfaces (at most 8) whose octet counters the test sets */
};

typedef struct {
    uint32_t initCalls;
    uint32_t timeZeroReference;
    uint32_t queries;
    uint32_t allocations; /* buffers the agent put into bindings */
    uint32_t frees;       /* old names and values the agent released */
} TestAgentStats;

/* libinetmib1.so of the test agents */
typedef void (*TestAgentConfigureFn)(int scenario, uint32_t param);
typedef void (*TestAgentStatsFn)(TestAgentStats* stats);
#define TESTAGENT_CONFIGURE "testagent_configure"
#define TESTAGENT_STATS "testagent_stats"

/* TESTAGENT_COUNTERS: the octet counters of row `row` (0-based), and whether it is there */
typedef void (*TestAgentSetOctetsFn)(uint32_t row, uint32_t in, uint32_t out);
typedef void (*TestAgentSetPresentFn)(uint32_t row, int present);
#define TESTAGENT_SET_OCTETS "testagent_set_octets"
#define TESTAGENT_SET_PRESENT "testagent_set_present"

/* libsnmpapi.so of the test agents: counts what passes through it */
typedef struct {
    uint32_t allocations;
    uint32_t frees;
    uint32_t oidCopies;
    uint32_t varBindFrees;
} TestApiStats;
typedef void (*TestApiStatsFn)(TestApiStats* stats);
typedef void (*TestApiResetFn)(void);
#define TESTAPI_STATS "testapi_stats"
#define TESTAPI_RESET "testapi_reset"

#endif
