/*
 * Tables of a universe's integrals, laid out once per universe and read
 * in vector lanes: piecewise polynomials in u = 1 + z from z = 0 to
 * u = 2^14, each octave of u cut in sixteen panels, so that a lane finds
 * its panel, and where it is in it, from the bits of u alone.  On each
 * panel a polynomial of 10 terms in s, the panel mapped onto [-1, 1],
 * interpolates the function at the Chebyshev nodes, to within a few units
 * of 1e-16 for functions as smooth as a universe's history (whose
 * singularities lie an e-folding of u or more from the real axis).
 *
 * The integrals come from the same interpolation of their integrands,
 * integrated exactly, panel by panel from z = 0 up: the comoving distance
 * and the lookback time over z (tabled as comoving/z and lookback/z, so
 * that they keep their digits as z -> 0), and the age, down from the
 * direct rule's value at each panel's upper end.  A panel whose integrand
 * the polynomial does not follow (a universe that nearly stops, or has no
 * Friedmann sum there) holds nan, and its lanes are left to the direct
 * rule.
 *
 * Everything is made of the kit's own cosine and the four operations, so
 * the tables have the same bits on every machine, and of the universe
 * alone, so that a value is the same bits whenever and in whatever call it
 * is asked for, whichever panels were laid before.
 */
#pragma once

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#include "content.h"

namespace expansion {

namespace tables {

const int octaves = 14, per_octave = 16, count = octaves * per_octave, terms = 10;
const double top = 0x1p14; /* u = 1 + z where the tables end */

/* The panel of u = 1 + z in the lanes, and s, where u is in it; panel is
 * count or more where u is below 1 or from the top on, or not a number.
 * u = 2^e (1 + k/16 + f/16), 0 <= f < 1: panel 16 e + k, s = 2 f - 1,
 * exactly. */
template <typename T>
inline void
locate(const T &u, typename Bits<T>::type &panel, T &s)
{
	typedef typename Bits<T>::type I;
	I b, m_bits, k_bits;
	std::memcpy(&b, &u, sizeof b);
	I k = (b >> 48) & 15;
	/* The sign bit stays in: a negative u is out of range. */
	panel = ((b >> 52) - 1023) * per_octave + k;
	m_bits = (b & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL;
	k_bits = k + 0x4338000000000000ULL;
	T m, kd;
	std::memcpy(&m, &m_bits, sizeof m);
	std::memcpy(&kd, &k_bits, sizeof kd);
	s = (m - 1) * 32 - (2 * (kd - magic) + 1);
}

/* r = the polynomial sum c[i count + panel] s^i, i < terms, by Horner's
 * rule: each lane its own panel's.  Vectors go by reference, for the
 * reason given at root(). */
template <typename T, typename I>
inline void
polynomial(const double *c, const I &panel, const T &s, T &r)
{
	T coef;
	gather(c + (terms - 1) * count, panel, r);
	for (int i = terms - 2; i >= 0; i--) {
		gather(c + i * count, panel, coef);
		r = coef + s * r;
	}
}

/* Panel p's ends in u. */
inline void
ends(int p, double &lo, double &hi)
{
	lo = std::ldexp(1 + (p % per_octave) / 16.0, p / per_octave);
	hi = lo + std::ldexp(1.0 / 16, p / per_octave);
}

/* The Chebyshev polynomials at the nodes, at[m][j] = T_m(s_j) =
 * cos(pi m (2j + 1)/(2 terms)), s_j = at[1][j]; and their coefficients,
 * power[m][i] that of s^i in T_m (whole numbers, exact). */
struct Basis {
	double at[terms][terms], power[terms][terms];
};

inline const Basis &
basis()
{
	static const Basis b = [] {
		Basis b = {};
		for (int m = 0; m < terms; m++)
			for (int j = 0; j < terms; j++)
				b.at[m][j] = neutrinos::cosine(m * (2 * j + 1), 2 * terms);
		b.power[0][0] = 1, b.power[1][1] = 1;
		for (int m = 2; m < terms; m++)
			for (int i = 0; i < terms; i++)
				b.power[m][i] = (i > 0 ? 2 * b.power[m - 1][i - 1] : 0) - b.power[m - 2][i];
		return b;
	}();
	return b;
}

/* The Chebyshev series c of the values v at the nodes: sum c_m T_m(s),
 * c_0 the mean. */
inline void
series(const double *v, double *c)
{
	const Basis &b = basis();
	for (int m = 0; m < terms; m++) {
		double sum = 0;
		for (int j = 0; j < terms; j++)
			sum += v[j] * b.at[m][j];
		c[m] = (m == 0 ? 1.0 : 2.0) / terms * sum;
	}
}

/* Whether the series' last term is below tolerance of its sum of
 * magnitudes: whether the polynomial follows the function; false for nan. */
inline bool
follows(const double *c, double tolerance)
{
	double sum = 0;
	for (int m = 0; m < terms; m++)
		sum += std::fabs(c[m]);
	return std::fabs(c[terms - 1]) <= tolerance * sum;
}

/* Panel p's row of the table t from the series c: its powers of s, the
 * small terms summed first.  With follow false, nan: the direct rule's. */
inline void
lay_row(const double *c, double *t, int p, bool follow = true)
{
	const Basis &b = basis();
	for (int i = 0; i < terms; i++) {
		double sum = 0;
		for (int m = terms - 1; m >= i; m--)
			sum += c[m] * b.power[m][i];
		t[i * count + p] = follow ? sum : NAN;
	}
}

/* Makes panel p's polynomial in the table t give value at s = -1, its
 * lower end, to the last bit: Horner's rule ends there with c_0 - r, r
 * the rest, and c_0 = value + r, rounded, gives value back for a value
 * near 1 and a small r. */
inline void
pin(double *t, int p, double value)
{
	double r = t[(terms - 1) * count + p];
	for (int i = terms - 2; i >= 1; i--)
		r = t[i * count + p] + -1.0 * r;
	t[p] = value + r;
}

/* The integral of the series c (terms of them) from s = -1 to each node,
 * in at[j], and to s = 1, returned; and, where quotient is given, the
 * series of that integral over (1 + s), terms of them. */
inline double
integrate(const double *c, double *at, double *quotient = nullptr)
{
	const Basis &b = basis();
	/* The antiderivative's series A: A_1 = c_0 - c_2/2, A_k = (c_(k-1) -
	 * c_(k+1))/(2k), A_0 such that it is 0 at s = -1. */
	double A[terms + 1];
	for (int k = 1; k <= terms; k++) {
		double before = k == 1 ? 2 * c[0] : c[k - 1], after = k + 1 < terms ? c[k + 1] : 0;
		A[k] = (before - after) / (2 * k);
	}
	A[0] = 0;
	for (int k = terms; k >= 1; k--)
		A[0] -= k % 2 ? -A[k] : A[k];
	/* At the nodes T_terms is 0. */
	for (int j = 0; j < terms; j++) {
		double sum = 0;
		for (int k = terms - 1; k >= 1; k--)
			sum += A[k] * b.at[k][j];
		at[j] = A[0] + sum;
	}
	double whole = 0;
	for (int k = terms; k >= 1; k--)
		whole += A[k];
	if (quotient) {
		/* (1 + s) Q = A, from the top: the coefficient of T_k in
		 * (1 + s) Q is q_k + q_(k-1)/2 + q_(k+1)/2 (q_0 whole into T_1). */
		double *q = quotient;
		q[terms - 1] = 2 * A[terms];
		double above = 0;
		for (int k = terms - 1; k >= 2; k--) {
			q[k - 1] = 2 * (A[k] - q[k]) - above;
			above = q[k];
		}
		q[0] = A[1] - q[1] - q[2] / 2;
	}
	return A[0] + whole;
}

/* The sum c_m T_m(s_j) at each node j. */
inline void
at_nodes(const double *c, double *v)
{
	const Basis &b = basis();
	for (int j = 0; j < terms; j++) {
		double sum = 0;
		for (int m = terms - 1; m >= 0; m--)
			sum += c[m] * b.at[m][j];
		v[j] = sum;
	}
}

/* A universe's tables, laid at their first use, panel by panel from z = 0
 * up, under the lock; the counts say how far, so that the lanes read
 * without it. */
struct Tables {
	std::mutex lock;
	std::atomic<int> laid{0};	/* the panels of the distances laid, from z = 0 up */
	std::atomic<int> aged{0};	/* the panels of the age laid, from z = 0 up */
	double comoving[terms * count]; /* the comoving distance over z, c/H0 */
	double lookback[terms * count]; /* the lookback time over z, 1/H0 */
	double age[terms * count];	/* the age, 1/H0 */
	double below[count + 1][2];	/* the comoving distance and lookback time to each panel's lower end */
	double within[count][terms + 1]; /* the lookback time from its lower end to each node, and across it */
};

/* The integrals where the tables leave them to the direct rule:
 * direct(z, age, lookback, comoving). */
template <typename Direct>
inline void
lay_panel(Tables &t, const Content &u, int p, Direct direct)
{
	double lo, hi;
	ends(p, lo, hi);
	const Basis &b = basis();
	double half = (hi - lo) / 2, z[terms], g[2][terms];
	for (int j = 0; j < terms; j++) {
		double x = lo + (hi - lo) * (1 + b.at[1][j]) / 2, a = 1 / x, F;
		friedmann(a, u, F);
		z[j] = x - 1;
		g[0][j] = a / std::sqrt(F); /* 1/E: the comoving distance's integrand over z */
		g[1][j] = g[0][j] * a;	    /* 1/((1 + z) E): the lookback time's */
	}
	double c[2][terms], to[2][terms], across[2], q[2][terms];
	series(g[0], c[0]), series(g[1], c[1]);
	bool follow = follows(c[0], 1e-14) && follows(c[1], 1e-14);
	double *rows[2] = {t.comoving, t.lookback};
	for (int f = 0; f < 2; f++) {
		across[f] = half * integrate(c[f], to[f], q[f]);
		double v[terms];
		if (p == 0) {
			/* From z = 0, the integral over z is its series over
			 * (1 + s): z = half (1 + s) here. */
			at_nodes(q[f], v);
		} else {
			for (int j = 0; j < terms; j++)
				v[j] = (t.below[p][f] + half * to[f][j]) / z[j];
		}
		double fit[terms];
		series(v, fit);
		lay_row(fit, rows[f], p, follow);
	}
	for (int j = 0; j < terms; j++)
		t.within[p][j] = half * to[1][j];
	t.within[p][terms] = across[1];
	if (follow) {
		t.below[p + 1][0] = t.below[p][0] + across[0];
		t.below[p + 1][1] = t.below[p][1] + across[1];
	} else {
		double age;
		direct(hi - 1, age, t.below[p + 1][1], t.below[p + 1][0]);
	}
}

/* Lays the distances' panels up to the one numbered most. */
template <typename Direct>
inline void
lay(Tables &t, const Content &u, int most, Direct direct)
{
	if (t.laid.load(std::memory_order_acquire) > most)
		return;
	std::lock_guard<std::mutex> hold(t.lock);
	int p = t.laid.load(std::memory_order_relaxed);
	if (p == 0)
		t.below[0][0] = t.below[0][1] = 0;
	for (; p <= most && p < count; p++)
		lay_panel(t, u, p, direct);
	t.laid.store(p, std::memory_order_release);
}

/* Lays the age's panels up to the one numbered most, the distances'
 * first: on each, the direct rule's age at its upper end and the lookback
 * time within it, so that a panel needs no other. */
template <typename Direct>
inline void
lay_age(Tables &t, const Content &u, int most, Direct direct)
{
	if (t.aged.load(std::memory_order_acquire) > most)
		return;
	lay(t, u, most, direct);
	std::lock_guard<std::mutex> hold(t.lock);
	int p = t.aged.load(std::memory_order_relaxed);
	for (; p <= most && p < count; p++) {
		double lo, hi, age, lookback, comoving, v[terms], fit[terms];
		ends(p, lo, hi);
		direct(hi - 1, age, lookback, comoving);
		for (int j = 0; j < terms; j++)
			v[j] = age + (t.within[p][terms] - t.within[p][j]);
		series(v, fit);
		lay_row(fit, t.age, p, !std::isnan(t.comoving[p]));
	}
	t.aged.store(p, std::memory_order_release);
}

} // namespace tables

} // namespace expansion
