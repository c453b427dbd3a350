/*
 * wideread - print the double whose memory-order bytes a hex text lists.
 */
#include <cstdint>
#include <cstdio>

#include "finish.h"
#include "hexread.h"

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: wideread 3f9d70a4 => 1.23\n");
		printf("Usage: wideread a4709d3f => 1.23\n");
		return finish("wideread");
	}
	printf("%f\n", hexread<double, std::uint64_t>(argv[1]));
	return finish("wideread");
}
