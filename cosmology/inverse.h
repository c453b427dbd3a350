/*
 * The inverse of the arithmetic in expansion.h: the redshift at which a
 * distance or a time, computed exactly as skytable prints it, takes a given
 * value.
 *
 * Each value is a lane of a safeguarded Newton iteration.  A pass computes
 * the forward sums for every lane still open, through the same vector
 * kernel the forward table uses, so the value at the returned redshift is
 * the one skytable prints there.  A lane steps in log(1 + z) with the
 * quantity's log-derivative, in closed form from the Friedmann sum at z,
 * inside a bracket that each pass narrows; a step that leaves the bracket
 * halves it in the scale factor instead.  Lanes that have converged wait.
 * A long catalog first tabulates the quantity (the guide), from which a lane
 * starts so close that the first pass is almost always the last.
 */
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <vector>

#include "columns.h"
#include "kernels.h"

namespace inverse {

/* What the values are, a column that -from takes; z reads redshifts, as the
 * forward table does. */
typedef columns::Id Quantity;
using columns::d_c;
using columns::d_L;
using columns::t_age;
using columns::t_lookback;
using columns::V_c;

/* The returned redshift reproduces the value to this relative error, or
 * is as close as the arithmetic's resolution allows. */
const double tolerance = 1e-13;

/* The tabulated quantity a long catalog starts from: built when the first
 * value at line guide_from or after is solved, and used by every such
 * value.  Whether a value is guided depends on its line alone, never on
 * how the lines arrive or are shared among threads, so that the same
 * catalog gives the same digits on every run. */
const long guide_from = 513;
struct Guide {
	std::once_flag once;
	bool usable;
	std::vector<double> q, u; /* the quantity, and log(1 + z) */
};

/* A stretch of redshifts, z0 to z1, over which the quantity runs from q0
 * to q1 without turning back. */
struct Piece {
	double z0, z1, q0, q1;
};

/* What a run solves with, fixed before the first value. */
struct Problem {
	Quantity quantity;
	const expansion::Universe *u;
	expansion::Kernel *kernel; /* with times where a time is solved for or printed */
	Guide *guide;
	std::vector<Piece> pieces; /* from z = 0 to the end of the universe's history */
	bool modulus = false;	   /* the values are distance moduli, solved for as d_L */
};

inline double
of(const Problem &p, double z, const expansion::Depth &d)
{
	return columns::value(p.quantity, z, *p.u, d);
}

/* dQ/dz at z, from the integrand there: 1/E for the comoving distance,
 * 1/((1 + z) E) for the times; d_L adds the bending of the transverse
 * distance, and the volume is 4 pi c/H0 d_M^2/E; D_H = c/(H0 E) falls as E
 * rises, and D_V^3 = z d_M^2 D_H.  Close to the slope of the midpoint sums,
 * which is all Newton needs: dE/dz by a difference. */
inline double
slope(Quantity q, double z, const expansion::Universe &u, const expansion::Depth &d)
{
	double E = expansion::rate(z, u);
	auto dlnE = [&] {
		double step = 1e-6 * (1 + z);
		return std::log(expansion::rate(z + step, u) / E) / step;
	};
	double r_d = q >= columns::DM_rd && q <= columns::DV_rd ? u.ruler->r_d : 1;
	auto dM = [&] { return (expansion::dd_L(z, u, d, E) - d.d_M) / (1 + z); }; /* d(d_M)/dz */
	switch (q) {
	case columns::DM_rd:
		return dM() / r_d;
	case columns::DH_rd:
		return -u.hubble_distance / E * dlnE() / r_d;
	case columns::D_V:
	case columns::DV_rd:
		return columns::volume_distance(z, u, d) / 3 * (1 / z + 2 * dM() / d.d_M - dlnE()) / r_d;
	case d_c:
		return u.hubble_distance / E;
	case d_L:
		return expansion::dd_L(z, u, d, E);
	case V_c:
		return 4 * M_PI * u.hubble_distance * (d.d_M * d.d_M) / E * 1e-9;
	case t_lookback:
		return u.hubble_time / ((1 + z) * E);
	case columns::D:
		return -d.D * d.f / (1 + z); /* dD/dz = -D f/(1 + z) */
	default:
		return -u.hubble_time / ((1 + z) * E);
	}
}

/* Whether the quantity falls as z grows: the age, the growth factor and
 * the Hubble distance. */
inline bool
falls(Quantity q)
{
	return q == t_age || q == columns::D || q == columns::DH_rd;
}

/* Tabulates the quantity from z = 0 to 1e4, evenly in log(1 + z); usable
 * only where it rises (or, for t_age and D, falls) strictly all the way.  Its
 * 2049 redshifts cost what a few hundred values cost without it. */
inline void
build(const Problem &p, Guide &g)
{
	const int nodes = 2049;
	const double top = std::log1p(1e4);
	std::vector<double> zs(nodes);
	std::vector<expansion::Depth> d(nodes);
	for (int k = 0; k < nodes; k++)
		zs[k] = std::expm1(top * k / (nodes - 1));
	expansion::depths(p.kernel, *p.u, zs.data(), nodes, d.data());
	double sign = falls(p.quantity) ? -1 : 1;
	g.usable = true;
	g.q.resize(nodes), g.u.resize(nodes);
	for (int k = 0; k < nodes; k++) {
		g.q[k] = sign * of(p, zs[k], d[k]);
		g.u[k] = std::log1p(zs[k]);
		if (!(std::isfinite(g.q[k]) && (k == 0 || g.q[k] > g.q[k - 1])))
			g.usable = false;
	}
}

/* A first redshift for v: from the guide, log(1 + z) as a polynomial in the
 * quantity through the eight nodes around v (within about 1e-13 where the
 * guide reaches); or from the quantity's small-z slope. */
inline double
guess(const Problem &p, const Guide *g, double v)
{
	if (g && g->usable) {
		double q = falls(p.quantity) ? -v : v;
		auto at = std::upper_bound(g->q.begin(), g->q.end(), q);
		const std::ptrdiff_t points = 8;
		if (at - g->q.begin() >= points / 2 && g->q.end() - at >= points / 2) {
			const double *q0 = &*(at - points / 2), *u0 = &g->u[at - g->q.begin() - points / 2];
			double u = 0;
			for (int i = 0; i < points; i++) {
				double w = u0[i];
				for (int j = 0; j < points; j++)
					if (j != i)
						w *= (q - q0[j]) / (q0[i] - q0[j]);
				u += w;
			}
			return std::expm1(u);
		}
	}
	const expansion::Universe &u = *p.u;
	switch (p.quantity) {
	case t_age:
		return std::max(std::pow(p.pieces[0].q0 / v, 2.0 / 3) - 1, 1e-3);
	case columns::D:
		return std::max(1 / v - 1, 1e-3); /* D nearly a */
	case t_lookback:
		return v / u.hubble_time;
	case V_c:
		return std::cbrt(3e9 * v / (4 * M_PI)) / u.hubble_distance;
	case columns::DH_rd:
		return std::max(std::pow(u.hubble_distance / (v * u.ruler->r_d), 2.0 / 3) - 1, 1e-3); /* E as matter's */
	case columns::DM_rd:
	case columns::DV_rd:
		return v * u.ruler->r_d / u.hubble_distance;
	default:
		return v / u.hubble_distance;
	}
}

/*
 * The pieces of the quantity's course, from z = 0 to the end of the
 * universe's history (z = inf, or where a_turn sets it).  d_L and d_M/r_d
 * turn back in a closed universe where light reaches beyond a quarter turn
 * around it, where the transverse distance shrinks; D_V always does, as it
 * falls to 0 at z = inf.  There the quantity is sampled at 1024 scale
 * factors, and each turn among the samples is found by a golden-section
 * search for the extreme value.
 */
inline void
prepare(Problem &p)
{
	const expansion::Universe &u = *p.u;
	/* The greatest z whose scale factor is not below a_turn: 1/a_turn - 1,
	 * or where its rounding overshoots, the end of a bisection below it. */
	double z_end = INFINITY;
	if (u.a_turn > 0) {
		z_end = 1 / u.a_turn - 1;
		if (expansion::emission(z_end) < u.a_turn) {
			double lo = 0, hi = z_end;
			for (double mid = lo + (hi - lo) / 2; mid > lo && mid < hi; mid = lo + (hi - lo) / 2)
				(expansion::emission(mid) < u.a_turn ? hi : lo) = mid;
			z_end = lo;
		}
	}
	auto at = [&](double z) {
		expansion::Depth d;
		expansion::depths(p.kernel, u, &z, 1, &d);
		return of(p, z, d);
	};
	const double ends[2] = {0, z_end};
	expansion::Depth d_ends[2], &end = d_ends[1];
	expansion::depths(p.kernel, u, ends, 2, d_ends);
	p.pieces.assign(1, {0, z_end, of(p, 0, d_ends[0]), 0});
	double angle = 0;
	if (u.Omega_k < 0)
		expansion::transverse(u, end.d_c, &angle);
	bool transverse = p.quantity == d_L || p.quantity == columns::DM_rd;
	if ((transverse && angle > M_PI / 2) || p.quantity == columns::D_V || p.quantity == columns::DV_rd) {
		const int n = 1024;
		double a_end = expansion::emission(z_end);
		std::vector<double> zs(n + 1), q(n + 1);
		std::vector<expansion::Depth> d(n + 1);
		for (int i = 0; i <= n; i++)
			zs[i] = i == 0 ? 0 : i == n ? z_end : 1 / (1 - (1 - a_end) * i / n) - 1;
		expansion::depths(p.kernel, u, zs.data(), n + 1, d.data());
		for (int i = 0; i <= n; i++)
			q[i] = of(p, zs[i], d[i]);
		for (int i = 1; i < n; i++) {
			double sign = q[i] > q[i - 1] ? 1 : -1;
			if (!(sign * (q[i + 1] - q[i]) < 0))
				continue;
			/* sign * q is greatest between the neighbours: search in a. */
			double a_top;
			double q_turn = -sign * expansion::least(
				expansion::emission(zs[i + 1]), expansion::emission(zs[i - 1]),
				[&](double a) { return -sign * at(1 / a - 1); }, -INFINITY, a_top);
			double z_turn = 1 / a_top - 1;
			p.pieces.back().z1 = z_turn, p.pieces.back().q1 = q_turn;
			p.pieces.push_back({z_turn, z_end, q_turn, 0});
		}
	}
	p.pieces.back().q1 = of(p, z_end, end);
}

/* Poses the problem of the values of q in universe u: its kernel takes the
 * age where q or what is printed needs it (times), the lookback time where
 * they need that; a distance modulus is solved for as the luminosity
 * distance it stands for. */
inline void
pose(Problem &p, Quantity q, const expansion::Universe &u, Guide *guide, bool times, bool lookback)
{
	p.quantity = q == columns::mu ? d_L : q;
	p.u = &u;
	p.kernel = expansion::fastest(times || q == t_age, lookback || q == t_lookback);
	p.guide = guide;
	p.modulus = q == columns::mu;
	if (q != columns::z)
		prepare(p);
}

/* The first piece that reaches v, or null.  A turn reaches a little
 * beyond its value, by the tolerance, since the values around it that the
 * arithmetic gives lie that close to it and cannot all be sampled. */
inline const Piece *
reaching(const Problem &p, double v)
{
	for (const Piece &c : p.pieces) {
		double slack0 = &c == &p.pieces.front() ? 0 : tolerance * std::fabs(c.q0);
		double slack1 = &c == &p.pieces.back() ? 0 : tolerance * std::fabs(c.q1);
		if (c.q0 <= c.q1 ? v >= c.q0 - slack0 && v <= c.q1 + slack1
				 : v >= c.q1 - slack1 && v <= c.q0 + slack0)
			return &c;
	}
	return nullptr;
}

/* One lane: its value, the redshift tried, and the bracket around the
 * answer in z, hi possibly infinite, over which the quantity rises
 * (sign 1) or falls (-1). */
struct Lane {
	double v, z, lo, hi, sign;
	double miss; /* the least |Q - v| so far, whose redshift and depth are kept */
	bool below, above; /* whether a Q was seen on each side of v */
	bool ended;	   /* whether a z was tried that the universe never reached */
	int passes;
	bool final; /* z is the answer once its depth is known */
};

/* Where a lane goes after the depth d at its z: true when z is the answer. */
inline bool
step(const Problem &p, Lane &l, const expansion::Depth &d)
{
	if (l.final)
		return true;
	double sign = l.sign, q = of(p, l.z, d);
	if (std::fabs(q - l.v) <= tolerance * l.v || ++l.passes > 200)
		return true;
	/* A quantity that is not a number lies beyond the universe's reach. */
	if (std::isnan(q) || sign * (q - l.v) > 0)
		l.hi = l.z;
	else
		l.lo = l.z;
	l.ended = l.ended || std::isnan(q);
	l.above = l.above || sign * (q - l.v) > 0;
	l.below = l.below || sign * (q - l.v) < 0;
	double next = NAN;
	if (!std::isnan(q)) {
		double s = slope(p.quantity, l.z, *p.u, d) * (1 + l.z) / q;
		next = std::expm1(std::log1p(l.z) + (std::log(l.v) - std::log(q)) / s);
	}
	if (!(next > l.lo && next < l.hi)) {
		/* Halve the bracket in the scale factor, which is finite at z = inf. */
		double a = (expansion::emission(l.lo) + expansion::emission(l.hi)) / 2;
		next = 1 / a - 1;
	}
	if (next == l.z || !(next > l.lo && next < l.hi))
		return true; /* the resolution of the arithmetic */
	l.z = next;
	return false;
}

/* The lanes of count values v, each started at its guess inside the
 * bracket of the piece that reaches it (guided where the value's line is
 * far enough into the run); open gets those to solve.  A value no piece
 * reaches, or below 0, has no redshift: nan in zs. */
inline void
start_lanes(const Problem &p, const double *v, const long *lines, std::size_t count, bool with_guide,
	    std::vector<Lane> &lanes, std::vector<std::size_t> &open, double *zs)
{
	for (std::size_t k = 0; k < count; k++) {
		const Piece *piece = reaching(p, v[k]);
		if (!piece || !(v[k] >= 0)) {
			zs[k] = NAN;
			continue;
		}
		Lane &l = lanes[k];
		double sign = piece->q1 < piece->q0 ? -1 : 1;
		const Guide *g = with_guide && lines[k] >= guide_from ? p.guide : nullptr;
		l = {v[k], guess(p, g, v[k]), piece->z0, piece->z1, sign, INFINITY, false, false, false, 0, false};
		if (v[k] == piece->q0)
			l.z = piece->z0, l.final = true;
		else if (sign * v[k] >= sign * piece->q1)
			l.z = piece->z1, l.final = true;
		else if (!(l.z > l.lo && l.z < l.hi))
			l.z = 1 / ((expansion::emission(l.lo) + expansion::emission(l.hi)) / 2) - 1;
		open.push_back(k);
	}
}

/* Passes over the open lanes until none is: each computes the depths at
 * its redshifts through the kernel, keeps the closest so far in zs and d,
 * and steps. */
inline void
iterate(const Problem &p, std::vector<Lane> &lanes, std::vector<std::size_t> &open, double *zs, expansion::Depth *d)
{
	std::vector<double> tried;
	std::vector<expansion::Depth> got;
	while (!open.empty()) {
		tried.resize(open.size());
		got.resize(open.size());
		for (std::size_t j = 0; j < open.size(); j++)
			tried[j] = lanes[open[j]].z;
		expansion::depths(p.kernel, *p.u, tried.data(), open.size(), got.data());
		std::size_t still = 0;
		for (std::size_t j = 0; j < open.size(); j++) {
			std::size_t k = open[j];
			double miss = std::fabs(of(p, tried[j], got[j]) - lanes[k].v);
			if (std::isnan(miss))
				miss = INFINITY;
			if (lanes[k].final || miss <= lanes[k].miss) {
				d[k] = got[j];
				zs[k] = lanes[k].z;
				lanes[k].miss = miss;
			}
			if (!step(p, lanes[k], got[j]))
				open[still++] = k;
		}
		open.resize(still);
	}
}

/* The redshift for each of count values, and the depth there, whose
 * quantity is the value, or of the redshifts tried the one whose quantity
 * came closest; nan where no redshift gives it.  lines[k] is the line of
 * value k, 1 for the first. */
inline void
redshifts(const Problem &p, const double *values, const long *lines, std::size_t count, double *zs,
	  expansion::Depth *d)
{
	/* A distance modulus mu is a luminosity distance of 10^(mu/5 - 5) Mpc. */
	std::vector<double> moduli;
	const double *v = values;
	if (p.modulus) {
		for (std::size_t k = 0; k < count; k++)
			moduli.push_back(std::pow(10.0, values[k] / 5 - 5));
		v = moduli.data();
	}
	bool with_guide = p.guide && count > 0 && lines[count - 1] >= guide_from;
	if (with_guide)
		std::call_once(p.guide->once, build, std::cref(p), std::ref(*p.guide));
	std::vector<Lane> lanes(count);
	std::vector<std::size_t> open;
	start_lanes(p, v, lines, count, with_guide, lanes, open, zs);
	iterate(p, lanes, open, zs, d);
	/* A lane that missed v, never saw it passed between two numbers and
	 * ran into the end of the universe found no redshift. */
	for (std::size_t k = 0; k < count; k++) {
		const Lane &l = lanes[k];
		bool missed = l.miss > tolerance * l.v && !(l.above && l.below) && l.ended;
		if (std::isnan(zs[k]) || (!l.final && missed)) {
			zs[k] = NAN;
			d[k] = {NAN, NAN, NAN, NAN, NAN, NAN, NAN};
		}
	}
}

} // namespace inverse
