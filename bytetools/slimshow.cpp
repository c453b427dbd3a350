/*
 * slimshow - print the four bytes of a float as hex, in memory order.
 */
#include <cstdio>
#include <cstdlib>

#include "finish.h"
#include "hexshow.h"
#include "notes.h"

static const char *const help[] = {
	"Usage: slimshow NUMBER",
	"  NUMBER             a number, whose four bytes as a float are printed",
	"                     as hex in memory order: slimshow 1.23 prints a4709d3f",
	"  --help, --version  this text, or the version",
	nullptr};

int
main(int argc, char *argv[])
{
	if (argc < 2) {
		printf("Usage: slimshow 1.23 => a4709d3f\n");
		return finish("slimshow");
	}
	if (answer("slimshow", argc, argv, help))
		return finish("slimshow");
	note_extra("slimshow", argc, argv);
	/* strtof rounds the text once, to float; through double it would round
	 * twice and miss near a halfway point. */
	char *end;
	float x = std::strtof(argv[1], &end);
	note_reading("slimshow", argv[1], end, "number");
	hexshow(x);
	return finish("slimshow");
}
