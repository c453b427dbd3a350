/* The processors this process may run on, for the threads it starts. */
#pragma once

#include <sched.h>

/* How many there are, at least 1. */
inline int
processors()
{
	cpu_set_t cpus;
	int n = sched_getaffinity(0, sizeof cpus, &cpus) ? 1 : CPU_COUNT(&cpus);
	return n < 1 ? 1 : n;
}
