/*
 * wideshow - print the eight bytes of a double as hex, in memory order.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>

#include "finish.h"

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: wideshow 1.23 => 3f9d70a4\n");
		printf("Usage: wideshow 1.23 => a4709d3f\n");
		return finish("wideshow");
	}

	/* strtod rather than atof: the same values, but defined out of range. */
	double value = std::strtod(argv[1], nullptr);
	unsigned char bytes[sizeof value];
	std::memcpy(bytes, &value, sizeof value);

	/* setw lapses after every output, so it is set again for each byte. */
	for (unsigned char b : bytes)
		std::cout << std::hex << std::setw(2) << std::setfill('0') << int{b} << std::flush;
	std::cout << std::endl;
	return finish("wideshow");
}
