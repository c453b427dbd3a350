/*
 * The energy density of a species of massive neutrinos over what it would
 * be massless: F(y)/F(0), with
 *
 *	F(y) = integral from 0 to inf of x^2 sqrt(x^2 + y^2) / (e^x + 1) dx,
 *
 * the Fermi-Dirac density of particles that decoupled while relativistic,
 * y = m c^2 / (k_B T_nu) = y0 a.  Two ways, in any lanes (lanes.h), each
 * lane getting the scalar bits:
 *
 * exact	below y = 2^-14 the series 1 + 5 y^2/(7 pi^2) (what it leaves
 *		out is below 1e-17); from y = 2^7 the asymptotic series
 *		sum_k C(1/2, k) J(2 + 2k) y^(1 - 2k), J(n) = (1 - 2^-n) n!
 *		zeta(n + 1), to k = 6 (below 1e-17); between, Chebyshev
 *		series fitted once per process to the integral itself (Table
 *		below).  Within a few units of 1e-15 throughout.
 * fit		(1 + (0.3173 y)^1.83)^(1/1.83), the fitting function astropy
 *		uses, so that its numbers can be reproduced.
 *
 * The table is built with the kit's own exponential and cosine and the
 * exact square root, so that it has the same bits on every machine.
 */
#pragma once

#include <cmath>

#include "lanes.h"

namespace expansion {

namespace neutrinos {

const double pi = 3.141592653589793;
const double F0 = 7 * pi * pi * pi * pi / 120; /* F(0) */
const double y_series = 0x1p-14, y_asymptotic = 0x1p7; /* 6.1e-5 and 128 */
/* C(1/2, k) J(2 + 2k) / F(0), k = 0 to 6: the asymptotic series' terms. */
const double asymptotic[7] = {
	1.5 * 1.2020569031595942 / F0,			       /* J(2) = 3/4 2! zeta(3) */
	0.5 * (15.0 / 16) * 24 * 1.0369277551433699 / F0,      /* J(4) */
	-0.125 * (63.0 / 64) * 720 * 1.0083492773819228 / F0,  /* J(6) */
	0.0625 * (255.0 / 256) * 40320 * 1.0020083928260822 / F0,
	-(5.0 / 128) * (1023.0 / 1024) * 3628800 * 1.0004941886041195 / F0,
	(7.0 / 256) * (4095.0 / 4096) * 479001600 * 1.0001227133475785 / F0,
	-(21.0 / 1024) * (16383.0 / 16384) * 87178291200.0 * 1.0000305882363070 / F0,
};

/* cos(pi q / d) for whole q >= 0 and d > 0, by the Taylor series of an
 * angle brought into [0, pi]: the same bits everywhere. */
inline double
cosine(long q, long d)
{
	q %= 2 * d;
	if (q > d)
		q = 2 * d - q;
	double x = pi * q / d, x2 = x * x, s = 1, t = 1;
	for (int k = 1; k < 30; k++) {
		t = -t * x2 / ((2 * k - 1) * (2 * k));
		s += t;
	}
	return s;
}

/* F(y), by 24-point Gauss-Legendre rules over panels that double in width
 * from y/16 to 1 (where y < 1), where the integrand turns from x^2 y to
 * x^3, and then up to 64, beyond which it is below 1e-25. */
inline double
integral(double y)
{
	const int n = 24;
	static double node[n], weight[n];
	static bool ready = false;
	if (!ready) {
		/* Newton on the Legendre polynomial P_n from its usual guesses. */
		for (int i = 0; i < n; i++) {
			double x = cosine(4 * i + 3, 4 * n + 2), d = 0;
			for (int it = 0; it < 100; it++) {
				double p0 = 1, p1 = x;
				for (int k = 2; k <= n; k++) {
					double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
					p0 = p1, p1 = p2;
				}
				d = n * (x * p1 - p0) / (x * x - 1);
				double step = p1 / d;
				x -= step;
				if (std::fabs(step) < 1e-17)
					break;
			}
			node[i] = x, weight[i] = 2 / ((1 - x * x) * d * d);
		}
		ready = true;
	}
	double cuts[64];
	int count = 0;
	cuts[count++] = 0;
	if (y > 0 && y < 1)
		for (double c = y / 16; c < 1; c *= 2)
			cuts[count++] = c;
	for (double c = 1; c <= 64; c *= 2)
		cuts[count++] = c;
	double sum = 0;
	for (int p = 0; p + 1 < count; p++) {
		double mid = (cuts[p] + cuts[p + 1]) / 2, half = (cuts[p + 1] - cuts[p]) / 2, part = 0;
		for (int i = 0; i < n; i++) {
			double x = mid + half * node[i], e;
			expo(-x, e);
			part += weight[i] * (x * x * std::sqrt(x * x + y * y) * e / (1 + e));
		}
		sum += half * part;
	}
	return sum;
}

/* The coefficients of the Chebyshev series of f on [lo, hi], in c[0],
 * c[step], ..., terms of them, from f at the Chebyshev nodes. */
template <typename F>
inline void
chebyshev(F f, double lo, double hi, int terms, double *c, int step)
{
	/* cos(pi k (2j + 1) / (2 terms)), for the last number of terms asked. */
	static double cosines[32][32];
	static int ready = 0;
	if (ready != terms) {
		for (int k = 0; k < terms; k++)
			for (int j = 0; j < terms; j++)
				cosines[k][j] = cosine(k * (2 * j + 1), 2 * terms);
		ready = terms;
	}
	double v[32];
	for (int j = 0; j < terms; j++)
		v[j] = f(lo + (hi - lo) * (1 + cosines[1][j]) / 2);
	for (int k = 0; k < terms; k++) {
		double s = 0;
		for (int j = 0; j < terms; j++)
			s += v[j] * cosines[k][j];
		c[k * step] = (k == 0 ? 1.0 : 2.0) / terms * s;
	}
}

/* sum c[k step] T_k(t), k < terms, by Clenshaw's recurrence. */
inline double
clenshaw(const double *c, int terms, int step, double t)
{
	double b1 = 0, b2 = 0;
	for (int k = terms - 1; k > 0; k--) {
		double b0 = c[k * step] + 2 * t * b1 - b2;
		b2 = b1, b1 = b0;
	}
	return c[0] + t * b1 - b2;
}

/*
 * The table the lanes read, over y from 2^-14 to 2^7: each octave cut in
 * eight, so that a lane finds its panel, and where it is in it, from the
 * bits of y alone, with no logarithm; on each a Chebyshev series of 12
 * terms.  It is fitted to a series in ln y over 28 panels of 17 terms,
 * itself fitted to the integral: 476 integrals in all.
 */
struct Table {
	static const int octave_lo = -14, octaves = 21, per_octave = 8, panels = octaves * per_octave, terms = 12;
	double c[terms][panels]; /* c[k][p]: panel p's k-th coefficient */
};

inline Table
build()
{
	const int ln_panels = 28, ln_terms = 17;
	double u_lo, u_hi;
	ln(y_series, u_lo);
	ln(y_asymptotic, u_hi);
	double width = (u_hi - u_lo) / ln_panels;
	static double by_ln[ln_panels][ln_terms];
	for (int p = 0; p < ln_panels; p++)
		chebyshev([](double u) {
			double y;
			expo(u, y);
			return integral(y) / F0;
		}, u_lo + width * p, u_lo + width * (p + 1), ln_terms, by_ln[p], 1);
	Table t;
	for (int p = 0; p < Table::panels; p++) {
		double lo = std::ldexp(1 + (p % Table::per_octave) / 8.0, Table::octave_lo + p / Table::per_octave);
		chebyshev([&](double y) {
			double u;
			ln(y, u);
			int q = std::min(std::max(static_cast<int>((u - u_lo) / width), 0), ln_panels - 1);
			return clenshaw(by_ln[q], ln_terms, 1, (u - (u_lo + width * q)) / width * 2 - 1);
		}, lo, lo + std::ldexp(1.0 / 8, Table::octave_lo + p / Table::per_octave), Table::terms, &t.c[0][p],
			  Table::panels);
	}
	return t;
}

/* The table, built at its first use. */
inline const Table &
table()
{
	static const Table t = build();
	return t;
}

/* r = F(y)/F(0) for y >= 0, from the table t.  Vectors go by reference,
 * for the reason given at root(). */
template <typename T>
inline void
exact(const T &y, const Table &t, T &r)
{
	typedef typename Bits<T>::type I;
	I b, m_bits, k_bits;
	std::memcpy(&b, &y, sizeof b);
	/* y = 2^e (1 + k/8 + f/8), 0 <= f < 1: panel 8 (e - octave_lo) + k,
	 * where it is s = 2 f - 1, exactly. */
	I k = (b >> 49) & 7;
	I panel = (((b >> 52) & 0x7ff) - (1023 + Table::octave_lo)) * 8 + k;
	panel = panel < static_cast<unsigned>(Table::panels) ? panel : k;
	m_bits = (b & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL;
	k_bits = k + 0x4338000000000000ULL;
	T m, kd;
	std::memcpy(&m, &m_bits, sizeof m);
	std::memcpy(&kd, &k_bits, sizeof kd);
	T s = (m - 1) * 16 - (2 * (kd - magic) + 1);
	/* Clenshaw's recurrence. */
	T b1{}, b2{}, coef;
	for (int i = Table::terms - 1; i > 0; i--) {
		gather(t.c[i], panel, coef);
		T b0 = coef + (2 * s) * b1 - b2;
		b2 = b1, b1 = b0;
	}
	gather(t.c[0], panel, coef);
	T inside = coef + s * b1 - b2;
	T y2 = y * y, small = 1 + (5 / (7 * pi * pi)) * y2, big;
	T inv = 1 / y2;
	big = T{} + asymptotic[6];
	for (int k = 5; k >= 0; k--)
		big = asymptotic[k] + inv * big;
	big = y * big;
	r = y < y_series ? small : y >= y_asymptotic ? big : inside;
}

/* r = (1 + (0.3173 y)^1.83)^(1/1.83), y >= 0. */
template <typename T>
inline void
fit(const T &y, T &r)
{
	T e;
	ln(0.3173 * y, e);
	expo(1.83 * e, e);
	ln(1 + e, e);
	expo(e / 1.83, r);
}

} // namespace neutrinos

} // namespace expansion
