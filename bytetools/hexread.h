/*
 * The reading shared by slimread and wideread: the text is a hex number
 * listing the value's bytes in memory order, first byte first, so the
 * value's storage is that number's storage with its bytes reversed.
 */
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

template <typename Value, typename Bits>
Value
hexread(const char *text)
{
	static_assert(sizeof(Value) == sizeof(Bits), "value and bits must be one width");

	/* strtoull takes what %x takes (blanks, sign, 0x, either case) and is
	 * defined on overflow: it saturates at all ones, and so do we when the
	 * number is wider than Bits.  No digits at all give 0. */
	unsigned long long wide = std::strtoull(text, nullptr, 16);
	Bits n = static_cast<Bits>(
		std::min<unsigned long long>(wide, std::numeric_limits<Bits>::max()));

	unsigned char from[sizeof n], to[sizeof(Value)];
	std::memcpy(from, &n, sizeof n);
	for (std::size_t k = 0; k < sizeof to; k++)
		to[k] = from[sizeof n - 1 - k];

	Value value;
	std::memcpy(&value, to, sizeof value);
	return value;
}
