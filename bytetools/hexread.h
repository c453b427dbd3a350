/*
 * The reading shared by slimread and wideread: the text is a hex number
 * listing the value's bytes in memory order, first byte first, so the
 * value's storage is that number's storage with its bytes reversed.
 */
#pragma once

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "notes.h"

template <typename Value, typename Bits>
Value
hexread(const char *program, const char *text)
{
	static_assert(sizeof(Value) == sizeof(Bits), "value and bits must be one width");

	/* What %x takes: blanks, a sign, 0x, digits of either case.  A number
	 * that fits is taken, negated modulo the width under a minus sign, as
	 * %x does at the reader's own width; one too wide saturates at all ones;
	 * no digits give 0.  strtoull reads the digits and says when they
	 * overflow even 64 bits.  Each of these readings is noted. */
	const char *given = text, *end = text;
	const int digits = 2 * sizeof(Bits);
	while (std::isspace(static_cast<unsigned char>(*text)))
		text++;
	bool minus = *text == '-';
	if (*text == '-' || *text == '+')
		text++;
	Bits n = 0;
	if (std::isxdigit(static_cast<unsigned char>(*text))) {
		errno = 0;
		char *stop;
		unsigned long long wide = std::strtoull(text, &stop, 16);
		end = stop;
		if (errno == ERANGE || wide > std::numeric_limits<Bits>::max()) {
			n = std::numeric_limits<Bits>::max();
			note(program, "read \"%s\" as all ones: the number needs more than %d hex digits",
			     shown(given).text, digits);
		} else {
			n = static_cast<Bits>(minus ? 0 - static_cast<Bits>(wide) : wide);
			if (minus && wide)
				note(program, "read \"%s\" as %0*llx: a minus sign negates modulo 2^%d",
				     shown(given).text, digits, static_cast<unsigned long long>(n), 4 * digits);
		}
	}
	note_reading(program, given, end, "hex number");

	unsigned char from[sizeof n], to[sizeof(Value)];
	std::memcpy(from, &n, sizeof n);
	for (std::size_t k = 0; k < sizeof to; k++)
		to[k] = from[sizeof n - 1 - k];

	Value value;
	std::memcpy(&value, to, sizeof value);
	return value;
}
