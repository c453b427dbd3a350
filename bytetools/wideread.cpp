/*
 * wideread - print the double whose memory-order bytes a hex text lists.
 */
#include <cstdint>
#include <cstdio>

#include "finish.h"
#include "hexread.h"

static const char *const help[] = {
	"Usage: wideread HEX",
	"  HEX                a double's eight bytes as hex, in memory order:",
	"                     wideread ae47e17a14aef33f prints 1.230000",
	"  --help, --version  this text, or the version",
	nullptr};

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: wideread 3f9d70a4 => 1.23\n");
		printf("Usage: wideread a4709d3f => 1.23\n");
		return finish("wideread");
	}
	if (answer("wideread", argc, argv, help))
		return finish("wideread");
	note_extra("wideread", argc, argv);
	printf("%f\n", hexread<double, std::uint64_t>("wideread", argv[1]));
	return finish("wideread");
}
