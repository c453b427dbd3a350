/*
 * A universe's thermal history: the rate equations of recombination.h,
 * d/dz of (x_H, x_He, T_m), stiff where the rates are fast, solved from
 * where helium leaves Saha equilibrium down to z = 0 by a Rosenbrock rule
 * of order 4 whose steps keep each one's error estimate within the
 * tolerance below, in at most most_steps steps and without allocating;
 * the steps, with their slopes, kept for cubic Hermite interpolation.
 */
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "recombination.h"

namespace recombination {

/* The Rosenbrock rule of Kaps & Rentrop (1979) with Shampine's (1982)
 * coefficients, of order 4 with an embedded estimate of order 3: linearly
 * implicit, so that the stiff stretches (hydrogen close to Saha
 * equilibrium, the matter's temperature tied to the photons') take steps
 * the size of the solution's own changes. */
const double ros_gamma = 0.5;
const double ros_a[3][2] = {{0, 0}, {2, 0}, {48.0 / 25, 6.0 / 25}}, ros_ax[3] = {0, 1, 3.0 / 5};
const double ros_c[4][3] = {{0, 0, 0}, {-8, 0, 0}, {372.0 / 25, 12.0 / 5, 0}, {-112.0 / 125, -54.0 / 125, -2.0 / 5}};
const double ros_cx[4] = {1.0 / 2, -3.0 / 2, 121.0 / 50, 29.0 / 250};
const double ros_b[4] = {19.0 / 9, 1.0 / 2, 25.0 / 108, 125.0 / 108};
const double ros_e[4] = {17.0 / 54, 7.0 / 36, 0, 125.0 / 108};

/* The error each step may make in x_H, x_He and T_m: absolute and
 * relative.  x_He matters as far as it adds to x_e (a thirteenth of it at
 * most), and T_m through the rates, which vary with it slowly: the
 * optical depths' redshifts move by 3e-8 and x_e by at most 5e-6 from
 * what tolerances ten times tighter give. */
const double tolerance[3][2] = {{1e-13, 1e-6}, {3e-8, 1e-4}, {0, 1e-4}};

/* A 3x3 matrix by elimination with partial pivoting, for the systems
 * m x = b with it that a step solves: its rows' swaps and the multiples
 * of one subtracted from another, in the order taken, and what is left,
 * upper triangular. */
struct Eliminated {
	int swap[3];
	double by[3][3]; /* by[c][r]: row c's multiple taken from row r */
	double u[3][3];
};

inline Eliminated
eliminate(const double (&m)[3][3])
{
	Eliminated e;
	std::copy(&m[0][0], &m[0][0] + 9, &e.u[0][0]);
	for (int c = 0; c < 3; c++) {
		int p = c;
		for (int r = c + 1; r < 3; r++)
			p = std::fabs(e.u[r][c]) > std::fabs(e.u[p][c]) ? r : p;
		e.swap[c] = p;
		for (int k = 0; k < 3; k++)
			std::swap(e.u[c][k], e.u[p][k]);
		for (int r = c + 1; r < 3; r++) {
			double f = e.by[c][r] = e.u[r][c] / e.u[c][c];
			for (int k = c; k < 3; k++)
				e.u[r][k] -= f * e.u[c][k];
		}
	}
	return e;
}

/* The system's solution for b, in place. */
inline void
solve(const Eliminated &e, double (&b)[3])
{
	for (int c = 0; c < 3; c++) {
		std::swap(b[c], b[e.swap[c]]);
		for (int r = c + 1; r < 3; r++)
			b[r] -= e.by[c][r] * b[c];
	}
	for (int c = 2; c >= 0; c--) {
		for (int k = c + 1; k < 3; k++)
			b[c] -= e.u[c][k] * b[k];
		b[c] /= e.u[c][c];
	}
}

/* The slopes' derivatives at a point, in its mode: in its state (the
 * Jacobian) and in z, by differences; the same for every step tried from
 * it.  A change of x_H or x_He leaves the temperature's rates as they
 * are, and one of T_m changes them as their derivatives say. */
struct Linear {
	double J[3][3], dz[3];
};

inline Linear
linear(const Gas &g, Phase phase, const Point &p)
{
	Linear l;
	for (int j = 0; j < 3; j++) {
		State t = p.s, dt;
		double e = 1e-7 * std::max(std::fabs(p.s.y[j]), j == 2 ? 1.0 : 1e-8);
		t.y[j] += e;
		slopes(g, phase, p.a, p.m, j < 2 ? p.r : warmer(g, p.r, e, p.m.channels), t, dt);
		for (int i = 0; i < 3; i++)
			l.J[i][j] = (dt.y[i] - p.d.y[i]) / e;
	}
	State dt;
	double ez = 1e-7 * (1 + p.a.z);
	slopes(g, phase, at(g, phase, p.a.z + ez), p.m, p.r, p.s, dt);
	for (int i = 0; i < 3; i++)
		l.dz[i] = (dt.y[i] - p.d.y[i]) / ez;
	return l;
}

/* One step of h (negative: z falls) from p, with the slopes' derivatives
 * lin there, to next; returns the error estimate over what is allowed
 * (the step is taken where it is at most 1). */
inline double
step(const Gas &g, Phase phase, const Point &p, const Linear &lin, double h, Point &next)
{
	At end = at(g, phase, p.a.z + h); /* the second stage's point too */
	const double(&J)[3][3] = lin.J;
	const double(&dz)[3] = lin.dz;
	double m[3][3], k[4][3];
	for (int i = 0; i < 3; i++) {
		for (int j = 0; j < 3; j++)
			m[i][j] = -J[i][j];
		m[i][i] += 1 / (ros_gamma * h);
	}
	Eliminated lu = eliminate(m);
	State f = p.d;
	for (int stage = 0; stage < 4; stage++) {
		if (stage == 1 || stage == 2) {
			State t = p.s;
			for (int c = 0; c < 3; c++)
				for (int j = 0; j < stage; j++)
					t.y[c] += ros_a[stage][j] * k[j][c];
			f = point(g, phase, stage == 1 ? end : at(g, phase, p.a.z + ros_ax[stage] * h), t).d;
		}
		for (int i = 0; i < 3; i++) {
			k[stage][i] = f.y[i] + h * ros_cx[stage] * dz[i];
			for (int j = 0; j < stage; j++)
				k[stage][i] += ros_c[stage][j] * k[j][i] / h;
		}
		solve(lu, k[stage]);
	}
	double worst = 0;
	State s = p.s;
	for (int c = 0; c < 3; c++) {
		double e = 0;
		for (int i = 0; i < 4; i++)
			s.y[c] += ros_b[i] * k[i][c], e += ros_e[i] * k[i][c];
		double scale = tolerance[c][0] + tolerance[c][1] * std::max(std::fabs(p.s.y[c]), std::fabs(s.y[c]));
		if ((phase == both || c > 0) && !(std::fabs(e) / scale <= worst))
			worst = std::fabs(e) / scale; /* a nan too, which no step takes */
	}
	next = point(g, phase, end, s);
	return worst;
}

/* A universe's history: x_e above z_start by Saha's equations, and below
 * it the steps of the rate equations, from z_start down to 0. */
struct History {
	Gas gas;
	double z_start = 0; /* where He+ leaves Saha equilibrium: the first step */
	double z_H = 0;	    /* where hydrogen does, below which x_H is integrated */
	std::vector<double> z;	 /* the steps, falling; z_H twice, its slopes each phase's */
	std::vector<State> s, d; /* the state at each, and its slopes in z */
};

/* The z at or below from at which x, Saha's ionization, falls to 0.99,
 * by bisection, where it is no more: from itself where it is not above
 * 0.99 there. */
template <typename X>
inline double
leaving(double from, X x)
{
	double hi = from, lo = 0;
	if (!(x(hi) > 0.99))
		return hi;
	for (int k = 0; k < 200 && hi - lo > 1e-12 * hi; k++) {
		double mid = lo + (hi - lo) / 2;
		(x(mid) > 0.99 ? hi : lo) = mid;
	}
	return lo;
}

/* The most steps a history takes: ten times what the standard universes
 * take. */
const std::size_t most_steps = 4096;

/* The rate equations in phase from z_from, where the state is s, down to
 * z_to, their steps appended to the history; h is the first step's size,
 * and is left the next one's. */
inline void
integrate(History &hist, Phase phase, double z_from, double z_to, State &s, double &h)
{
	const Gas &g = hist.gas;
	Point p = point(g, phase, at(g, phase, z_from), s), next;
	hist.z.push_back(z_from), hist.s.push_back(s), hist.d.push_back(p.d);
	Linear lin = linear(g, phase, p);
	for (double z = z_from; z > z_to;) {
		double take = std::min(h, z - z_to);
		double err = step(g, phase, p, lin, -take, next);
		if (!(err <= 1) && take > 1e-6) {
			h = take * std::max(0.2, 0.9 * e_to(-0.25 * log_of(err)));
			continue;
		}
		if (std::isnan(err) || hist.z.size() + 2 >= most_steps) {
			/* The equations failed (a nan even in the smallest step),
			 * or crawl: the history is nan from here down. */
			State nan = {{NAN, NAN, NAN}};
			hist.z.push_back(z_to), hist.s.push_back(nan), hist.d.push_back(nan);
			s = nan;
			return;
		}
		z = take == z - z_to ? z_to : z - take;
		p = next;
		hist.z.push_back(z), hist.s.push_back(p.s), hist.d.push_back(p.d);
		lin = linear(g, phase, p);
		h = take * (err > 0 ? std::min(3.0, 0.9 * e_to(-0.25 * log_of(err))) : 3.0);
	}
	s = p.s;
}

/* The history of universe u, whose baryons and temperature are given. */
inline History
history(const expansion::Universe &u)
{
	History hist;
	hist.gas = gas_of(u);
	const Gas &g = hist.gas;
	hist.z_start = leaving(3500, [&](double z) { return saha_He(g, z); });
	hist.z_H = leaving(hist.z_start, [&](double z) { return saha_H(g, z); });
	/* Room for the steps, so that none allocates. */
	for (auto *v : {&hist.s, &hist.d})
		v->reserve(most_steps);
	hist.z.reserve(most_steps);
	State s = {{saha_H(g, hist.z_start), saha_He(g, hist.z_start), g.T0 * (1 + hist.z_start)}};
	double h = 1;
	if (hist.z_H < hist.z_start)
		integrate(hist, helium, hist.z_start, hist.z_H, s, h);
	s.y[0] = saha_H(g, hist.z_H);
	integrate(hist, both, hist.z_H, 0, s, h);
	return hist;
}

/* The state at z between steps k and k + 1, cubic Hermite from their
 * values and slopes; x_H Saha's above z_H. */
inline State
state_in(const History &hist, std::size_t k, double z)
{
	double z0 = hist.z[k], z1 = hist.z[k + 1], w = z0 - z1, t = (z0 - z) / w;
	double t2 = t * t, t3 = t2 * t;
	double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
	State out;
	for (int c = 0; c < 3; c++)
		out.y[c] = h00 * hist.s[k].y[c] - h10 * w * hist.d[k].y[c] + h01 * hist.s[k + 1].y[c] -
			   h11 * w * hist.d[k + 1].y[c];
	if (z >= hist.z_H)
		out.y[0] = saha_H(hist.gas, z);
	return out;
}

/* The step at or above z, below z_start: the first of hydrogen's where z
 * is z_H. */
inline std::size_t
step_at(const History &hist, double z)
{
	auto k = std::upper_bound(hist.z.begin(), hist.z.end(), z, std::greater<double>()) - hist.z.begin() - 1;
	return std::max<std::ptrdiff_t>(0, std::min<std::ptrdiff_t>(k, hist.z.size() - 2));
}

/* x_e at z between steps k and k + 1. */
inline double
x_e_in(const History &hist, std::size_t k, double z)
{
	State s = state_in(hist, k, z);
	return s.y[0] + hist.gas.fHe * s.y[1];
}

/* x_e at z: Saha's above z_start, the history's below. */
inline double
x_e(const History &hist, double z)
{
	return z >= hist.z_start ? x_saha(hist.gas, z) : x_e_in(hist, step_at(hist, z), z);
}

} // namespace recombination
