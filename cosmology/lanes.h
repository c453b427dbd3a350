/*
 * The lanes the arithmetic runs in: a double, or a vector of doubles whose
 * lanes hold independent values, and the operations that give every lane
 * the bits the scalar code gets.  Vector division and square root are exact
 * per lane; the logarithm and exponential are the kit's own, made of those
 * and of integer operations on the bits, since a library's may differ
 * between its scalar and vector forms and between machines.  No operation
 * is fused or reordered (-ffp-contract=off).
 */
#pragma once

#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace expansion {

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));
typedef double v8d __attribute__((vector_size(64)));

/* Square roots in place: a 32-byte vector passed by value to a function of
 * another target would change the calling convention. */
inline void
root(double &x)
{
	x = std::sqrt(x);
}

#if defined(__x86_64__) || defined(__i386__)
inline void
root(v2d &x)
{
	x = (v2d)_mm_sqrt_pd((__m128d)x);
}
__attribute__((target("avx2"))) inline void
root(v4d &x)
{
	x = (v4d)_mm256_sqrt_pd((__m256d)x);
}
__attribute__((target("avx512f"))) inline void
root(v8d &x)
{
	/* Masked, all lanes on: the unmasked form starts from an undefined
	 * vector, which GCC 12 warns of. */
	x = (v8d)_mm512_mask_sqrt_pd((__m512d)x, 0xff, (__m512d)x);
}
#elif defined(__aarch64__)
inline void
root(v2d &x)
{
	x = vsqrtq_f64(x);
}
#else
inline void
root(v2d &x)
{
	x = v2d{std::sqrt(x[0]), std::sqrt(x[1])};
}
#endif

/* The unsigned integers of a number type's width, for its bits: their
 * arithmetic wraps, whatever the bits. */
template <typename T>
struct Bits {
	typedef unsigned long long type;
};
template <>
struct Bits<v2d> {
	typedef unsigned long long type __attribute__((vector_size(16)));
};
template <>
struct Bits<v4d> {
	typedef unsigned long long type __attribute__((vector_size(32)));
};
template <>
struct Bits<v8d> {
	typedef unsigned long long type __attribute__((vector_size(64)));
};

/* out[j] = base[index[j]] for each lane j: a load, exact whatever the
 * width.  Vectors go by reference, for the reason given at root(). */
inline void
gather(const double *base, const unsigned long long &index, double &out)
{
	out = base[index];
}

inline void
gather(const double *base, const Bits<v2d>::type &index, v2d &out)
{
	out = v2d{base[index[0]], base[index[1]]};
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline void
gather(const double *base, const Bits<v4d>::type &index, v4d &out)
{
	out = (v4d)_mm256_i64gather_pd(base, (__m256i)index, 8);
}

__attribute__((target("avx512f"))) inline void
gather(const double *base, const Bits<v8d>::type &index, v8d &out)
{
	/* Masked, all lanes on, from zeros: the unmasked form starts from an
	 * undefined vector, which GCC 12 warns of. */
	out = (v8d)_mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xff, (__m512i)index, base, 8);
}
#endif

/* 1.5 * 2^52: added to a double below 2^51 in magnitude, it rounds it to an
 * integer, which the low bits of the sum hold. */
const double magic = 6755399441055744.0;
/* ln 2 in two parts, the first with zeros enough that its products with
 * exponents are exact. */
const double ln2_hi = 6.93147180369123816490e-01, ln2_lo = 1.90821492927058770002e-10;

/*
 * y = ln x for positive x, 0 included (-inf): x = 2^e m with m between
 * sqrt(1/2) and sqrt(2), and ln m = 2 atanh(s), s = (m - 1)/(m + 1), by its
 * series to s^23, within 2 units of the last place.  Vectors go by
 * reference, for the reason given at root().
 */
template <typename T>
inline void
ln(const T &x, T &y)
{
	typedef typename Bits<T>::type I;
	I b, e_bits;
	std::memcpy(&b, &x, sizeof b);
	e_bits = ((b >> 52) - 1023) + 0x4338000000000000ULL;
	b = (b & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL;
	T m, e;
	std::memcpy(&m, &b, sizeof m);
	std::memcpy(&e, &e_bits, sizeof e);
	const double big = 1.4142135623730951;
	e = e - magic;
	e = m > big ? e + 1 : e;
	m = m > big ? m * 0.5 : m;
	T s = (m - 1) / (m + 1), s2 = s * s;
	T p = T{} + 1.0 / 23;
	for (int k = 21; k >= 3; k -= 2)
		p = 1.0 / k + s2 * p;
	T lnm = 2 * s + 2 * (s * (s2 * p));
	y = e * ln2_hi + (lnm + e * ln2_lo);
	y = x == 0 ? T{} - INFINITY : y;
}

/*
 * y = e^x: x = k ln 2 + r with |r| <= ln2/2, e^r by its series to r^13,
 * times 2^k made in two halves so that neither leaves the normal range;
 * within 2 units of the last place.
 */
template <typename T>
inline void
expo(const T &x_in, T &y)
{
	typedef typename Bits<T>::type I;
	T x = x_in < -1000 ? T{} - 1000 : x_in > 1000 ? T{} + 1000 : x_in;
	T k = (x * 1.4426950408889634 + magic) - magic;
	T r = (x - k * ln2_hi) - k * ln2_lo;
	y = T{} + 1.0 / 6227020800; /* 1/13! */
	const double f[] = {479001600, 39916800, 3628800, 362880, 40320, 5040, 720, 120, 24, 6, 2, 1, 1};
	for (double d : f)
		y = 1.0 / d + r * y;
	T half = (k * 0.5 + magic) - magic;
	T halves[2] = {half, k - half};
	for (const T &h : halves) {
		T hm = h + magic, two_h;
		I b;
		std::memcpy(&b, &hm, sizeof b);
		b = ((b - 0x4338000000000000ULL) + 1023) << 52;
		std::memcpy(&two_h, &b, sizeof two_h);
		y = y * two_h;
	}
}

} // namespace expansion
