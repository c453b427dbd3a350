/*
 * wideshow - print the eight bytes of a double as hex, in memory order.
 */
#include <cstdio>
#include <cstdlib>

#include "finish.h"
#include "hexshow.h"
#include "notes.h"

static const char *const help[] = {
	"Usage: wideshow NUMBER",
	"  NUMBER             a number, whose eight bytes as a double are printed",
	"                     as hex in memory order: wideshow 1.23 prints ae47e17a14aef33f",
	"  --help, --version  this text, or the version",
	nullptr};

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: wideshow 1.23 => 3f9d70a4\n");
		printf("Usage: wideshow 1.23 => a4709d3f\n");
		return finish("wideshow");
	}
	if (answer("wideshow", argc, argv, help))
		return finish("wideshow");
	note_extra("wideshow", argc, argv);
	/* strtod rather than atof: the same values, but defined out of range. */
	hexshow(read_number("wideshow", argv[1]));
	return finish("wideshow");
}
