/*
 * A double as printf's %.Ng writes it (N significant digits, trailing zeros
 * dropped, exponent form below 1e-4 and from 10^N on), several times faster
 * than std::to_chars with a precision: the digits are one exact integer
 * division, x 10^k = M 2^E 10^k rounded to nearest, ties to even, in 128
 * bits.  Values whose division does not fit in 128 bits, and everything on
 * machines without 128-bit integers, go to std::to_chars, whose text is the
 * same by definition.
 */
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace general {

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 u128;

/* The bits of v, 1 for 1. */
inline int
bits(u128 v)
{
	return 128 - (v >> 64 ? __builtin_clzll(static_cast<std::uint64_t>(v >> 64))
			      : 64 + __builtin_clzll(static_cast<std::uint64_t>(v)));
}

/* The decimal exponent of |x|, 2^(e2 - 1) <= |x| < 2^e2: of its two
 * candidates, the one a power of ten tells where one is exact, else the
 * lower, which the division in digits_of() corrects. */
inline int
exponent10(double x, int e2)
{
	int X = static_cast<int>(std::floor((e2 - 1) * 0.30102999566398120));
	static const double tens[23] = {1e0,  1e1,  1e2,  1e3,	1e4,  1e5,  1e6,  1e7,	1e8,  1e9,  1e10, 1e11,
					1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
	if (X + 1 >= 0 && X + 1 <= 22 && std::fabs(x) >= tens[X + 1])
		X++;
	else if (X + 1 < 0 && X + 1 >= -22 && std::fabs(x) * tens[-(X + 1)] >= 1)
		X++;
	return X;
}

/*
 * The digits significant digits of M 2^E into d, and its decimal exponent
 * X corrected: q = round(M 2^E 10^k), k = digits - 1 - X, as one exact
 * division num / den, rounded to nearest, ties to even.  X is right when
 * the quotient, before rounding, has digits digits; rounding may then
 * carry it to 10^digits.  False where the division does not fit in 128
 * bits.
 */
inline bool
digits_of(std::uint64_t M, int E, int digits, int &X, char *d)
{
	std::uint64_t low = 1, high; /* 10^(digits - 1) and 10^digits */
	for (int i = 1; i < digits; i++)
		low *= 10;
	high = low * 10;
	for (int tries = 0; tries < 3; tries++) {
		int k = digits - 1 - X;
		if (k > 22 || k < -38 || E > 60 || E < -120)
			return false;
		u128 num = M, den = 1;
		for (int i = 0; i < k; i++)
			num *= 10;
		for (int i = 0; i < -k; i++)
			den *= 10;
		if (E >= 0 ? bits(num) + E > 127 : bits(den) - E > 126)
			return false;
		if (E >= 0)
			num <<= E;
		else
			den <<= -E;
		u128 q = num / den, r = num % den;
		if (q >= high || q < low) {
			X += q >= high ? 1 : -1;
			continue;
		}
		if (2 * r > den || (2 * r == den && (q & 1)))
			q++;
		if (q == high)
			q = low, X++;
		std::uint64_t n = static_cast<std::uint64_t>(q);
		for (int i = digits - 1; i >= 0; i--, n /= 10)
			d[i] = static_cast<char>('0' + n % 10);
		return true;
	}
	return false;
}

/* Writes at p the digits d of a number, its decimal exponent X, as %g
 * does: trailing zeros dropped, the exponent form below 1e-4 and from
 * 10^digits on; returns the end. */
inline char *
lay_out(char *p, const char *d, int digits, int X, bool negative)
{
	int used = digits;
	while (used > 1 && d[used - 1] == '0')
		used--;
	if (negative)
		*p++ = '-';
	if (X < -4 || X >= digits) {
		*p++ = d[0];
		if (used > 1) {
			*p++ = '.';
			std::memcpy(p, d + 1, used - 1);
			p += used - 1;
		}
		*p++ = 'e';
		*p++ = X < 0 ? '-' : '+';
		int a = X < 0 ? -X : X;
		if (a >= 100)
			*p++ = static_cast<char>('0' + a / 100);
		*p++ = static_cast<char>('0' + a / 10 % 10);
		*p++ = static_cast<char>('0' + a % 10);
	} else if (X >= 0) {
		std::memcpy(p, d, X + 1);
		p += X + 1;
		if (used > X + 1) {
			*p++ = '.';
			std::memcpy(p, d + X + 1, used - X - 1);
			p += used - X - 1;
		}
	} else {
		*p++ = '0';
		*p++ = '.';
		for (int i = 0; i < -X - 1; i++)
			*p++ = '0';
		std::memcpy(p, d, used);
		p += used;
	}
	return p;
}
#endif

/* Writes x with digits significant digits (1 to 17) at p, returns the end;
 * nan and inf as printf writes them. */
inline char *
write(char *p, char *end, double x, int digits)
{
	if (std::isnan(x) || std::isinf(x)) {
		if (std::signbit(x))
			*p++ = '-';
		std::memcpy(p, std::isnan(x) ? "nan" : "inf", 3);
		return p + 3;
	}
#ifdef __SIZEOF_INT128__
	if (x == 0) {
		if (std::signbit(x))
			*p++ = '-';
		*p++ = '0';
		return p;
	}
	int e2;
	double m = std::frexp(std::fabs(x), &e2);
	std::uint64_t M = static_cast<std::uint64_t>(std::ldexp(m, 53));
	int X = exponent10(x, e2);
	char d[17];
	if (digits_of(M, e2 - 53, digits, X, d))
		return lay_out(p, d, digits, X, x < 0);
#endif
	return std::to_chars(p, end, x, std::chars_format::general, digits).ptr;
}

} // namespace general
