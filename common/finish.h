/*
 * The end of every run: standard output must have been written, or the run
 * fails.  std::cout is synchronised with stdio (the programs never turn that
 * off), so a failed write through either route leaves stdout's error flag
 * set.  The reason is errno as the first failed write left it: a program
 * whose work after a write may set errno keeps it (keep_reason()) and
 * hands it to finish().
 */
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>

/* Keeps in reason, unless it holds one already, why a write to standard
 * output has failed, if one has: call it after each line written. */
inline void
keep_reason(int &reason)
{
	if (!reason && std::ferror(stdout))
		reason = errno;
}

/* Returns the exit status: 0, or 1 after saying on stderr why output was
 * lost: reason where a write failed before, else errno. */
inline int
finish(const char *program, int reason = 0)
{
	if (std::fflush(stdout) == 0 && !std::ferror(stdout))
		return 0;
	std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(reason ? reason : errno));
	return 1;
}
