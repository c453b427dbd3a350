/*
 * A number's text as skytable reads and writes it: a value read whole,
 * blanks around it allowed, with a decimal point or, where asked, a
 * decimal comma; a number written as %g writes it, with either.
 */
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

#include "general.h"

namespace numbers {

inline bool
blank(char c)
{
	return c == ' ' || c == '\t' || c == '\r';
}

/* Whether the text up to stop, with blanks around it allowed, is one whole
 * number.  from_chars reads the same decimal numbers to the same doubles
 * as strtod, faster, and never past stop; strtod reads what it does not (a
 * sign '+', hexadecimal, out of range), from a copy that ends at stop. */
inline bool
number(const char *text, const char *stop, double *value)
{
	while (text < stop && blank(*text))
		text++;
	/* strtod would skip other white space (a form feed, a newline) itself;
	 * and a zero byte ends its text. */
	if (text == stop || *text == '\n' || *text == '\v' || *text == '\f' || *text == '\0')
		return false;
	const char *end = nullptr;
#ifdef __cpp_lib_to_chars
	auto read = std::from_chars(text, stop, *value);
	if (read.ec == std::errc() && (read.ptr == stop || blank(*read.ptr)))
		end = read.ptr;
#endif
	if (!end) {
		std::string copy(text, stop);
		char *e;
		*value = std::strtod(copy.c_str(), &e);
		end = text + (e - copy.c_str());
	}
	if (end == text)
		return false;
	while (end < stop && blank(*end))
		end++;
	return end == stop;
}

/* Whether the text up to stop is one whole number whose decimal separator
 * is decimal: with a comma, the text is read with a point in its place,
 * and a point in it is no number's. */
inline bool
value_of(const char *text, const char *stop, char decimal, double *value)
{
	if (decimal == '.')
		return number(text, stop, value);
	std::string t(text, stop);
	if (t.find('.') != std::string::npos)
		return false;
	std::replace(t.begin(), t.end(), ',', '.');
	return number(t.c_str(), t.c_str() + t.size(), value);
}

/* Appends x as %g prints it with that many significant digits, its decimal
 * point the decimal separator given. */
inline void
put(std::string &out, double x, int digits, char decimal)
{
	char buf[32], *end = general::write(buf, buf + sizeof buf, x, digits);
	if (decimal != '.')
		std::replace(buf, end, '.', decimal);
	out.append(buf, end);
}

} // namespace numbers
