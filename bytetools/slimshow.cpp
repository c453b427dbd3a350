/*
 * slimshow - print the four bytes of a float as hex, in memory order.
 */
#include <cstdio>
#include <cstdlib>

#include "finish.h"
#include "hexshow.h"

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: slimshow 1.23 => a4709d3f\n");
		return finish("slimshow");
	}
	/* strtof rounds the text once, to float; through double it would round
	 * twice and miss near a halfway point. */
	hexshow(std::strtof(argv[1], nullptr));
	return finish("slimshow");
}
