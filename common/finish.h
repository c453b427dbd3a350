/*
 * The end of every run: standard output must have been written, or the run
 * fails.  std::cout is synchronised with stdio (the programs never turn that
 * off), so a failed write through either route leaves stdout's error flag
 * set.  errno still holds the reason: after a failed write a stream writes
 * nothing more, and skydepth's arithmetic puts back what its square roots set.
 */
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>

/* Returns the exit status: 0, or 1 after saying on stderr why output was lost. */
inline int
finish(const char *program)
{
	if (std::fflush(stdout) == 0 && !std::ferror(stdout))
		return 0;
	std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
	return 1;
}
