/*
 * slimread - print the float whose memory-order bytes a hex text lists.
 */
#include <cstdint>
#include <cstdio>

#include "finish.h"
#include "hexread.h"

static const char *const help[] = {
	"Usage: slimread HEX",
	"  HEX                a float's four bytes as hex, in memory order:",
	"                     slimread a4709d3f prints 1.230000",
	"  --help, --version  this text, or the version",
	nullptr};

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: slimread 3f9d70a4 => 1.23\n");
		printf("Usage: slimread a4709d3f => 1.23\n");
		return finish("slimread");
	}
	if (answer("slimread", argc, argv, help))
		return finish("slimread");
	note_extra("slimread", argc, argv);
	printf("%f\n", static_cast<double>(hexread<float, std::uint32_t>("slimread", argv[1])));
	return finish("slimread");
}
