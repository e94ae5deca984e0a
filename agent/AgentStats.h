/*
 * Outside the agent interface: libinetmib1.so also exports a count of the kernel link dumps it
 * has made, for tests and benchmarks to read through dlsym.
 */
#ifndef SORVANE_AGENTSTATS_H
#define SORVANE_AGENTSTATS_H

#include <stdint.h>

#define SORVANE_AGENT_DUMP_COUNT_SYMBOL "sorvane_agent_dump_count"
typedef uint64_t (*SorvaneAgentDumpCountFn)(void);

#endif
