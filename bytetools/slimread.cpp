/*
 * slimread - print the float whose memory-order bytes a hex text lists.
 */
#include <cstdint>
#include <cstdio>

#include "finish.h"
#include "hexread.h"

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: slimread 3f9d70a4 => 1.23\n");
		printf("Usage: slimread a4709d3f => 1.23\n");
		return finish("slimread");
	}
	printf("%f\n", static_cast<double>(hexread<float, std::uint32_t>(argv[1])));
	return finish("slimread");
}
