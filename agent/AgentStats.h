/*
 * Outside the agent interface: libinetmib1.so also exports counts of its reads of the kernel
 * (one per refresh of the table, whatever it read) and of the full link dumps among them, for
 * tests and benchmarks to read through dlsym. The program reads the second too: while it
 * stands still, the agent's rows are the ones of its last walk.
 */
#ifndef SORVANE_AGENTSTATS_H
#define SORVANE_AGENTSTATS_H

#include <stdint.h>

#define SORVANE_AGENT_DUMP_COUNT_SYMBOL "sorvane_agent_dump_count"
typedef uint64_t (*SorvaneAgentDumpCountFn)(void);
#define SORVANE_AGENT_LINK_DUMP_COUNT_SYMBOL "sorvane_agent_link_dump_count"

#endif
