/*
 * The linear growth of structure: the growth factor D, normalised to 1
 * today, and the growth rate f = dln D/dln a, the growing solution of
 *
 *	D'' + (2 + dln H/dln a) D' - (3/2) Omega_M(a) D = 0
 *
 * (primes d/dln a, H with every species of the run, Omega_M(a) =
 * Omega_M a^-3 (H0/H)^2: only matter clusters).  It is solved once per run
 * in the form that needs H alone, with y = ln a, E = H/H0 and a E =
 * sqrt(F), F the Friedmann sum of content.h:
 *
 *	dD/dy = P / (a E a),	dP/dy = (3/2) Omega_M D / (a E),	P = a^2 E D'
 *
 * by the classical Runge-Kutta rule in steps of 1/1024 in y, from a_0, where
 * the matter-plus-radiation solution D = 1 + (3/2) a/a_eq (D = a without
 * radiation) holds to within 1e-13, to a = 1.  Between the steps D and P
 * are cubic Hermite polynomials in y, from their values and slopes there;
 * below a_0, the early solution.  A universe whose dark energy is not
 * negligible as a -> 0 has no such solution.  Under the exact rule D and f
 * are then tabled (tables.h) from those values, so that the lanes read
 * them as they read the distances.
 */
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "expansion.h"

namespace growth {

/* What is said where the growth has no early solution to start from. */
const char *const dark_note =
	"dark energy is not negligible as a -> 0, where the growth of structure starts: D, f and fsigma8 are nan";

struct Growth {
	bool holds = false; /* whether the early solution holds */
	bool dark = false;  /* it does not for dark energy not negligible as a -> 0 */
	double y0, h;	    /* ln a_0, and the step in y */
	double a_eq;	    /* the early radiation over Omega_M; 0 without radiation */
	double early;	    /* D below a_0 is early (1 + 1.5 a/a_eq), or early a without radiation */
	std::vector<double> D, P; /* at y0 + k h, normalised so that D(a = 1) = 1 */
	std::vector<double> dD, dP; /* their slopes in y there */
	std::vector<double> D_table, f_table; /* under the exact rule, D and f by tables.h's panels */
};

/* sqrt(F) at a: a E. */
inline double
root_sum(const expansion::Universe &u, double a)
{
	double F;
	expansion::friedmann(a, u, F);
	return std::sqrt(F);
}

/* a_0, where what the early solution leaves out, curvature and the vacuum
 * against matter and radiation, and the neutrinos' mass, is below 1e-13;
 * 0 where there is none. */
inline double
start(const expansion::Universe &u, double radiation)
{
	const double Om = u.m.Omega_M;
	double a0 = radiation > 0 ? 1e-8 : 1e-13, y_most = 0;
	for (const expansion::Species &s : u.species)
		y_most = std::max(y_most, s.y0);
	if (y_most > 0)
		a0 = std::min(a0, 1e-6 / y_most);
	for (; a0 >= 1e-200; a0 *= 1e-3) {
		double early = radiation / a0 / a0 + Om / a0, F;
		expansion::friedmann(a0, u, F);
		if (std::fabs(F - early) <= 1e-13 * early)
			return a0;
	}
	return 0;
}

/* The slopes of the state (D, P) at a, where a E is aE. */
inline void
slopes(double Om, double a, double aE, double D, double P, double &dD, double &dP)
{
	dD = P / (aE * a);
	dP = 1.5 * Om * D / aE;
}

/* The Runge-Kutta steps of g from its first, at y0 = ln a_0, to y = 0,
 * the state and its slopes kept at each. */
inline void
steps(const expansion::Universe &u, Growth &g, int n)
{
	const double Om = u.m.Omega_M;
	double a, aE, D, P;
	expansion::expo(g.y0, a);
	aE = root_sum(u, a);
	double x = g.a_eq > 0 ? a / g.a_eq : 0;
	D = g.a_eq > 0 ? 1 + 1.5 * x : a;
	P = aE * a * (g.a_eq > 0 ? 1.5 * x : a);
	g.D[0] = D, g.P[0] = P;
	slopes(Om, a, aE, D, P, g.dD[0], g.dP[0]);
	for (int k = 0; k < n; k++) {
		double y = g.y0 + g.h * k, a_half, a_next, aE_half, aE_next;
		expansion::expo(y + g.h / 2, a_half);
		expansion::expo(k + 1 == n ? 0.0 : y + g.h, a_next);
		aE_half = root_sum(u, a_half), aE_next = root_sum(u, a_next);
		double d1, p1, d2, p2, d3, p3, d4, p4;
		slopes(Om, a, aE, D, P, d1, p1);
		slopes(Om, a_half, aE_half, D + g.h / 2 * d1, P + g.h / 2 * p1, d2, p2);
		slopes(Om, a_half, aE_half, D + g.h / 2 * d2, P + g.h / 2 * p2, d3, p3);
		slopes(Om, a_next, aE_next, D + g.h * d3, P + g.h * p3, d4, p4);
		D += g.h / 6 * (d1 + 2 * d2 + 2 * d3 + d4);
		P += g.h / 6 * (p1 + 2 * p2 + 2 * p3 + p4);
		g.D[k + 1] = D, g.P[k + 1] = P;
		a = a_next, aE = aE_next;
		slopes(Om, a, aE, D, P, g.dD[k + 1], g.dP[k + 1]);
	}
}

inline void at(const Growth &g, const expansion::Universe &u, double z, double &D, double &f);

/* Whether panel p of the tables D and f holds the steps of g to 5e-14
 * halfway between its nodes, where they were not fitted. */
inline bool
follows(const Growth &g, const expansion::Universe &u, const std::vector<double> &D, const std::vector<double> &f,
	int p)
{
	namespace tables = expansion::tables;
	const tables::Basis &b = tables::basis();
	double lo, hi;
	tables::ends(p, lo, hi);
	for (int j = 0; j + 1 < tables::terms; j++) {
		double s = (b.at[1][j] + b.at[1][j + 1]) / 2, want[2], got[2];
		at(g, u, lo + (hi - lo) * (1 + s) / 2 - 1, want[0], want[1]);
		unsigned long long panel = p;
		tables::polynomial(D.data(), panel, s, got[0]);
		tables::polynomial(f.data(), panel, s, got[1]);
		for (int i = 0; i < 2; i++)
			if (!(std::fabs(got[i] - want[i]) <= 5e-14 * std::fabs(want[i])))
				return false;
	}
	return true;
}

/* g's tables of D and f, from its values at each panel's nodes; a panel
 * whose values the polynomials do not follow holds nan, and is left to
 * the steps. */
inline void
tabulate(const expansion::Universe &u, Growth &g)
{
	namespace tables = expansion::tables;
	const tables::Basis &b = tables::basis();
	std::vector<double> D(tables::terms * tables::count), f(tables::terms * tables::count);
	for (int p = 0; p < tables::count; p++) {
		double lo, hi, v[2][tables::terms], c[2][tables::terms];
		tables::ends(p, lo, hi);
		for (int j = 0; j < tables::terms; j++)
			at(g, u, lo + (hi - lo) * (1 + b.at[1][j]) / 2 - 1, v[0][j], v[1][j]);
		tables::series(v[0], c[0]), tables::series(v[1], c[1]);
		tables::lay_row(c[0], D.data(), p);
		tables::lay_row(c[1], f.data(), p);
		if (!follows(g, u, D, f, p))
			tables::lay_row(c[0], D.data(), p, false), tables::lay_row(c[1], f.data(), p, false);
	}
	/* D is 1 today to the last bit, as the steps have it. */
	double today, rate;
	at(g, u, 0, today, rate);
	tables::pin(D.data(), 0, today);
	/* Laid only now: at() reads the steps until they are. */
	g.D_table.swap(D), g.f_table.swap(f);
}

/* The growth of universe u, solved from a_0 to now and normalised to 1
 * today, tabled under the exact rule; none where it has no matter, never
 * expanded from a = 0 or has no early solution. */
inline std::shared_ptr<const Growth>
of(const expansion::Universe &u)
{
	auto g = std::make_shared<Growth>();
	double radiation = u.radiation_density;
	for (const expansion::Species &s : u.species)
		radiation += u.nu_weight * s.count; /* relativistic then */
	if (!(u.m.Omega_M > 0) || u.a_turn > 0 || !(radiation >= 0) || !std::isfinite(radiation))
		return g;
	g->a_eq = radiation / u.m.Omega_M;
	double a0 = start(u, radiation);
	g->dark = a0 == 0;
	if (g->dark)
		return g;
	const int steps_per_unit = 1024;
	double y0;
	expansion::ln(a0, y0);
	int n = static_cast<int>(std::ceil(-y0 * steps_per_unit));
	g->h = -y0 / n;
	g->y0 = -g->h * n;
	g->D.resize(n + 1), g->P.resize(n + 1), g->dD.resize(n + 1), g->dP.resize(n + 1);
	steps(u, *g, n);
	double today = g->D[n];
	for (int k = 0; k <= n; k++)
		g->D[k] /= today, g->P[k] /= today, g->dD[k] /= today, g->dP[k] /= today;
	g->early = 1 / today;
	g->holds = std::isfinite(today) && today > 0;
	if (g->holds && u.m.exact)
		tabulate(u, *g);
	return g;
}

/* D and f at z, from the growth g of u; nan where there is none (before
 * the universe was, after now, or no solution). */
inline void
at(const Growth &g, const expansion::Universe &u, double z, double &D, double &f)
{
	double a = expansion::emission(z);
	D = f = NAN;
	if (!g.holds || !(z >= 0) || a < u.a_turn)
		return;
	unsigned long long panel;
	double s;
	expansion::tables::locate(1 + z, panel, s);
	if (!g.D_table.empty() && panel < static_cast<unsigned>(expansion::tables::count)) {
		expansion::tables::polynomial(g.D_table.data(), panel, s, D);
		expansion::tables::polynomial(g.f_table.data(), panel, s, f);
		if (!std::isnan(D))
			return;
	}
	double y;
	expansion::ln(a, y);
	if (!(y >= g.y0)) {
		/* The early solution, its limit at z = inf included. */
		double x = g.a_eq > 0 ? a / g.a_eq : 0;
		D = g.a_eq > 0 ? g.early * (1 + 1.5 * x) : g.early * a;
		f = g.a_eq > 0 ? 1.5 * x / (1 + 1.5 * x) : 1;
		return;
	}
	std::size_t last = g.D.size() - 1;
	std::size_t k = std::min(static_cast<std::size_t>((y - g.y0) / g.h), last - 1);
	double t = (y - (g.y0 + g.h * k)) / g.h, h = g.h;
	/* Cubic Hermite: the values and slopes at the two ends. */
	double t2 = t * t, t3 = t2 * t;
	double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
	D = h00 * g.D[k] + h10 * h * g.dD[k] + h01 * g.D[k + 1] + h11 * h * g.dD[k + 1];
	double P = h00 * g.P[k] + h10 * h * g.dP[k] + h01 * g.P[k + 1] + h11 * h * g.dP[k + 1];
	f = P / (root_sum(u, a) * a) / D;
}

} // namespace growth
