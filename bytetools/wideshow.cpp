/*
 * wideshow - print the eight bytes of a double as hex, in memory order.
 */
#include <cstdio>
#include <cstdlib>

#include "finish.h"
#include "hexshow.h"

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: wideshow 1.23 => 3f9d70a4\n");
		printf("Usage: wideshow 1.23 => a4709d3f\n");
		return finish("wideshow");
	}
	/* strtod rather than atof: the same values, but defined out of range. */
	hexshow(std::strtod(argv[1], nullptr));
	return finish("wideshow");
}
