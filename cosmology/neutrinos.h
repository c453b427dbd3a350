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
 * exact	below y = 1e-4 the series 1 + 5 y^2/(7 pi^2) (what it leaves out
 *		is below 1e-17); above y = 100 the asymptotic series
 *		sum_k C(1/2, k) J(2 + 2k) y^(1 - 2k), J(n) = (1 - 2^-n) n!
 *		zeta(n + 1), to k = 6 (below 1e-16); between, Chebyshev
 *		polynomials in ln y over 28 panels, fitted once per process to
 *		the integral itself.  Within a few units of 1e-15 throughout.
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
const double y_series = 1e-4, y_asymptotic = 100;
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

/* The Chebyshev table over ln y from ln 1e-4 to ln 100. */
struct Table {
	static const int panels = 28, terms = 17;
	double u_lo, width;
	double c[panels][terms];
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

inline Table
build()
{
	Table t;
	ln(y_series, t.u_lo);
	double u_hi;
	ln(y_asymptotic, u_hi);
	t.width = (u_hi - t.u_lo) / Table::panels;
	const int N = Table::terms;
	for (int p = 0; p < Table::panels; p++) {
		double f[N];
		for (int j = 0; j < N; j++) {
			double u = t.u_lo + t.width * (p + (1 + cosine(2 * j + 1, 2 * N)) / 2), y;
			expo(u, y);
			f[j] = integral(y) / F0;
		}
		for (int k = 0; k < N; k++) {
			double s = 0;
			for (int j = 0; j < N; j++)
				s += f[j] * cosine(k * (2 * j + 1), 2 * N);
			t.c[p][k] = (k == 0 ? 1.0 : 2.0) / N * s;
		}
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
	const std::size_t width = sizeof(T) / sizeof(double);
	T u;
	ln(y, u);
	/* The panel of each lane, and where in it the lane is, in [-1, 1]. */
	double at[width], x[width], c[Table::terms][width];
	std::memcpy(at, &u, sizeof at);
	for (std::size_t j = 0; j < width; j++) {
		double k = std::floor((at[j] - t.u_lo) / t.width);
		int p = !(k >= 0) ? 0 : k >= Table::panels ? Table::panels - 1 : static_cast<int>(k);
		x[j] = (at[j] - (t.u_lo + t.width * p)) / t.width * 2 - 1;
		for (int i = 0; i < Table::terms; i++)
			c[i][j] = t.c[p][i];
	}
	T s, b1{}, b2{}, coef;
	std::memcpy(&s, x, sizeof s);
	/* Clenshaw's recurrence. */
	for (int i = Table::terms - 1; i > 0; i--) {
		std::memcpy(&coef, c[i], sizeof coef);
		T b0 = coef + (2 * s) * b1 - b2;
		b2 = b1, b1 = b0;
	}
	std::memcpy(&coef, c[0], sizeof coef);
	T inside = coef + s * b1 - b2;
	T y2 = y * y, small = 1 + (5 / (7 * pi * pi)) * y2, big;
	T inv = 1 / y2;
	big = T{} + asymptotic[6];
	for (int k = 5; k >= 0; k--)
		big = asymptotic[k] + inv * big;
	big = y * big;
	r = y <= y_series ? small : y >= y_asymptotic ? big : inside;
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
