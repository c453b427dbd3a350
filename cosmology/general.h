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
	__extension__ typedef unsigned __int128 u128;
	if (x == 0) {
		if (std::signbit(x))
			*p++ = '-';
		*p++ = '0';
		return p;
	}
	int e2;
	double m = std::frexp(std::fabs(x), &e2);
	std::uint64_t M = static_cast<std::uint64_t>(std::ldexp(m, 53));
	/* The decimal exponent X, from the binary one: 2^(e2 - 1) <= |x| < 2^e2
	 * leaves two candidates, told apart by a power of ten where one is
	 * exact, else by the division below. */
	int E = e2 - 53, X = static_cast<int>(std::floor((e2 - 1) * 0.30102999566398120));
	static const double tens[23] = {1e0,  1e1,  1e2,  1e3,	1e4,  1e5,  1e6,  1e7,	1e8,  1e9,  1e10, 1e11,
					1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
	if (X + 1 >= 0 && X + 1 <= 22 && std::fabs(x) >= tens[X + 1])
		X++;
	else if (X + 1 < 0 && X + 1 >= -22 && std::fabs(x) * tens[-(X + 1)] >= 1)
		X++;
	std::uint64_t low = 1, high; /* 10^(digits - 1) and 10^digits */
	for (int i = 1; i < digits; i++)
		low *= 10;
	high = low * 10;
	for (int tries = 0; tries < 3; tries++) {
		/* q = round(M 2^E 10^k), k = digits - 1 - X, as num / den. */
		int k = digits - 1 - X;
		if (k > 22 || k < -38 || E > 60 || E < -120)
			break;
		u128 num = M, den = 1;
		for (int i = 0; i < k; i++)
			num *= 10;
		for (int i = 0; i < -k; i++)
			den *= 10;
		int num_bits = 128 - (num >> 64 ? __builtin_clzll(static_cast<std::uint64_t>(num >> 64))
						: 64 + __builtin_clzll(static_cast<std::uint64_t>(num)));
		int den_bits = 128 - (den >> 64 ? __builtin_clzll(static_cast<std::uint64_t>(den >> 64))
						: 64 + __builtin_clzll(static_cast<std::uint64_t>(den)));
		if (E >= 0 ? num_bits + E > 127 : den_bits - E > 126)
			break;
		if (E >= 0)
			num <<= E;
		else
			den <<= -E;
		/* X is right when the quotient, before rounding, has digits
		 * digits; rounding may then carry it to 10^digits. */
		u128 q = num / den, r = num % den;
		if (q >= high) {
			X++;
			continue;
		}
		if (q < low) {
			X--;
			continue;
		}
		if (2 * r > den || (2 * r == den && (q & 1)))
			q++;
		if (q == high)
			q = low, X++;
		char d[17];
		std::uint64_t n = static_cast<std::uint64_t>(q);
		for (int i = digits - 1; i >= 0; i--, n /= 10)
			d[i] = static_cast<char>('0' + n % 10);
		int used = digits;
		while (used > 1 && d[used - 1] == '0')
			used--;
		if (x < 0)
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
	return std::to_chars(p, end, x, std::chars_format::general, digits).ptr;
}

} // namespace general
