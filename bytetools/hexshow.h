/*
 * The dump shared by wideshow and slimshow: a value's bytes as two lowercase
 * hex digits each, in the order they lie in memory, first byte first.
 */
#pragma once

#include <cstring>
#include <iomanip>
#include <iostream>

template <typename Value>
void
hexshow(Value value)
{
	unsigned char bytes[sizeof value];
	std::memcpy(bytes, &value, sizeof value);

	/* setw lapses after every output, so it is set again for each byte. */
	for (unsigned char b : bytes)
		std::cout << std::hex << std::setw(2) << std::setfill('0') << int{b} << std::flush;
	std::cout << std::endl;
}
