/*
 * The arithmetic whose digits skydepth and skytable print: the integrals
 * over the expansion history of a universe with matter, vacuum energy (a
 * cosmological constant, or dark energy whose equation of state evolves),
 * radiation and the curvature those densities imply, and the distances
 * and times made from them.  The integrals are taken by the 1000-step
 * midpoint rule, or to the model's true values (-exact).
 *
 * The order of every operation below fixes the printed digits, so it is
 * written once and both programs use it.  The integrals are a template over
 * the number type: a double, or a vector of doubles whose lanes hold
 * independent redshifts (lanes.h), each lane getting the bits the scalar
 * code gets.
 */
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "content.h"
#include "tables.h"

namespace growth {
struct Growth;
}
namespace ruler {
struct Ruler;
}

namespace expansion {

const int steps = 1000; /* midpoint steps, for each of the two ranges */

/* A stretch of the exact rule's variable y = sqrt(a - a_turn), from y_lo
 * up to y_hi, over which a fixed Gauss-Legendre rule is exact to within
 * 1e-14, with the integrals beyond it. */
struct Panel {
	double a_lo;		   /* a_turn + y_lo^2 */
	double y_lo, y_hi;
	double comoving, lookback; /* the integrals from y_hi to now */
	double age_below, age_here; /* the age integral up to y_lo, and over the panel */
};

/* The direct exact rule's panels, cut at their first use. */
struct Cut {
	std::once_flag once;
	std::vector<Panel> panels;
};

/* A run's universe: its content, where its history starts, what the exact
 * rule builds at its first use (shared by the universe's copies), and where
 * asked for, the growth of structure in it and the ruler of its baryons. */
struct Universe : Content {
	double a_turn; /* the scale factor below which the universe never was on its way to now,
			* 0 when it was at every one (turnaround() below) */
	std::shared_ptr<Cut> cut; /* the direct exact rule's panels; null under the midpoint rule */
	std::shared_ptr<tables::Tables> tables; /* the exact rule's tables (tables.h), where it has them:
						 * a universe that expanded from a = 0 */
	std::shared_ptr<const growth::Growth> growth; /* growth.h's, where a run asks for it */
	std::shared_ptr<const ruler::Ruler> ruler;    /* ruler.h's, where a run asks for it */
};

inline double turnaround(const Universe &u);

/* The universe of a run.  Under the exact rule its tables and panels are
 * laid out at their first use, so that a universe asked for a few values
 * costs a few panels. */
inline Universe
universe(const Model &m)
{
	Universe u;
	static_cast<Content &>(u) = content(m);
	u.a_turn = turnaround(u);
	if (m.exact) {
		u.cut = std::make_shared<Cut>();
		if (u.a_turn == 0)
			u.tables.reset(new tables::Tables);
	}
	return u;
}

/* The scale factor at emission. */
inline double
emission(double z)
{
	return 1.0 / (1.0 + z);
}

/* Searches [lo, hi] by golden sections for where f is least, until f
 * falls below stop or the section is a few units of the last place wide;
 * returns the least value found and sets x to where it is. */
template <typename F>
inline double
least(double lo, double hi, F f, double stop, double &x)
{
	const double g = 0.6180339887498949;
	double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo), f1 = f(x1), f2 = f(x2);
	for (int k = 0; k < 90 && f1 >= stop && f2 >= stop && x2 - x1 > 1e-16 * x2; k++) {
		if (f1 < f2)
			hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = f(x1);
		else
			lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = f(x2);
	}
	x = f1 < f2 ? x1 : x2;
	return f1 < f2 ? f1 : f2;
}

/*
 * Where the Friedmann sum is negative the universe cannot be: one seen at a
 * scale factor below such a stretch never expanded to now.  Returns the
 * upper end of the highest such stretch below a = 1 (the least a above it
 * at which the sum is not negative), or 0 when there is none, as when no
 * term is negative.  The sum is sampled at 512 scale factors, each local
 * least value of the samples searched for a dip between them, and the
 * stretch's end found by bisection.
 */
inline double
turnaround(const Universe &u)
{
	if (u.Omega_k >= 0 && u.radiation_density >= 0 && u.m.Omega_M >= 0 && u.m.Lambda0 >= 0)
		return 0;
	auto F = [&](double a) {
		double r;
		friedmann(a, u, r);
		return r;
	};
	/* The least a above lo (where F < 0) up to hi (where it is not) at
	 * which F is not negative. */
	auto end = [&](double lo, double hi) {
		for (double mid = lo + (hi - lo) / 2; mid > lo && mid < hi; mid = lo + (hi - lo) / 2)
			(F(mid) < 0 ? lo : hi) = mid;
		return hi;
	};
	const int n = 512;
	double f[n + 2];
	for (int j = 1; j <= n; j++)
		f[j] = F(static_cast<double>(j) / n);
	f[n + 1] = f[n];
	for (int j = n; j >= 1; j--) {
		double a = static_cast<double>(j) / n, above = (j + 1.0) / n, a_min;
		if (f[j] < 0)
			return j == n ? 1 : end(a, above);
		if (j > 1 && j < n && f[j] <= f[j + 1] && f[j] <= f[j - 1] &&
		    least((j - 1.0) / n, above, F, 0, a_min) < 0)
			return end(a_min, a_min < a ? a : above);
	}
	/* Below the first sample: halvings toward 0. */
	for (double a = 0.5 / n, above = 1.0 / n; a > 0; above = a, a /= 2)
		if (F(a) < 0)
			return end(a, above);
	return 0;
}

/*
 * The three midpoint sums for the lanes of a_emit: 1/(a H) from 0 to a_emit
 * (age), from a_emit to 1 (lookback), and 1/(a^2 H) from a_emit to 1
 * (comoving), H in units of H0.  Without times only the comoving sum is
 * taken, and the lookback sum where asked for (it shares the comoving
 * sum's samples); neither depends on the others.
 */
template <bool times, typename T, bool lookback = times, int kind = 0>
inline void
sums(const T &a_emit, const Universe &u, T &age_sum, T &lookback_sum, T &comoving_sum)
{
	/* a H/H0 */
	auto rate = [&](const T &a, T &r) {
		friedmann<kind>(a, u, r);
		root(r);
	};
	age_sum = lookback_sum = comoving_sum = T{};
	for (int i = 0; i < steps; i++) {
		if (times) {
			T a1 = (a_emit * (i + 0.5)) / steps, r1;
			rate(a1, r1);
			age_sum += 1 / r1;
		}
		T a2 = a_emit + ((1 - a_emit) * (i + 0.5)) / steps;
		T r2;
		rate(a2, r2);
		if (lookback)
			lookback_sum += 1 / r2;
		comoving_sum += 1 / (a2 * r2);
	}
}

/* The midpoint rule's integrals from its sums. */
template <typename T>
inline void
midpoint(const T &a_emit, T &age, T &lookback, T &comoving)
{
	age = (a_emit * age) / steps;
	lookback = ((1 - a_emit) * lookback) / steps;
	comoving = ((1 - a_emit) * comoving) / steps;
}

/* The exact rule's nodes and weights: Gauss-Legendre's twelve on [0, 1]. */
const double gauss[12][2] = {
	{9.2196828766403747e-3, 2.3587668193255914e-2}, {4.7941371814762572e-2, 5.3469662997659215e-2},
	{1.1504866290284766e-1, 8.0039164271673113e-2}, {2.0634102285669128e-1, 1.0158371336153296e-1},
	{3.160842505009099e-1, 1.167462682691774e-1},	{4.3738329574426554e-1, 1.2457352290670139e-1},
	{5.6261670425573446e-1, 1.2457352290670139e-1}, {6.839157494990901e-1, 1.167462682691774e-1},
	{7.9365897714330872e-1, 1.0158371336153296e-1}, {8.8495133709715234e-1, 8.0039164271673113e-2},
	{9.5205862818523743e-1, 5.3469662997659215e-2}, {9.9078031712335963e-1, 2.3587668193255914e-2},
};

/*
 * The exact rule's integrals from y0 up dy, y = sqrt(a - a_turn): of
 * 1/(a H) and of 1/(a^2 H) over a, which in y are 2y/sqrt(F) and
 * 2y/(a sqrt(F)), F the Friedmann sum.  In y both are smooth where a
 * power law of a is not: at a = 0 under radiation or matter, and at a
 * turnaround, where F has a simple root.
 */
template <bool times, typename T>
inline void
gauss_legendre(const T &y0, const T &dy, const Universe &u, T &age, T &comoving)
{
	age = comoving = T{};
	for (const auto &node : gauss) {
		T y = y0 + dy * node[0];
		T a = u.a_turn + y * y, F;
		friedmann(a, u, F);
		root(F);
		T g = (2 * y) / F;
		if (times)
			age += node[1] * g;
		comoving += node[1] * (g / a);
	}
	age = dy * age;
	comoving = dy * comoving;
}

/* The panel in which a lies: the first, from now back, whose lower end is
 * not above it.  A scale factor the universe never had, or nan, gets the
 * last. */
inline const Panel &
panel_at(const std::vector<Panel> &panels, double a)
{
	std::size_t lo = 0, hi = panels.size() - 1;
	while (lo < hi) {
		std::size_t mid = (lo + hi) / 2;
		if (panels[mid].a_lo <= a)
			hi = mid;
		else
			lo = mid + 1;
	}
	return panels[lo];
}

/*
 * The exact rule at the lanes of z: the integrals from the panel's top to
 * now and from the start to its bottom are the panel's; between the
 * emission and the top, the fixed rule.  In the panel that ends now, the
 * width in y is (1 - a_emit)/(y_hi + y_e), and 1 - a_emit is z/(1 + z)
 * below z = 1, where the subtraction would lose digits.
 */
template <bool times, typename T>
inline void
exact(const T &z, const T &a_emit, const Universe &u, const std::vector<Panel> &panels, T &age, T &lookback,
      T &comoving)
{
	const std::size_t width = sizeof(T) / sizeof(double);
	double at[width], f[6][width];
	std::memcpy(at, &a_emit, sizeof at);
	for (std::size_t j = 0; j < width; j++) {
		const Panel &p = panel_at(panels, at[j]);
		const double row[6] = {p.y_lo, p.y_hi, p.comoving, p.lookback, p.age_below, p.age_here};
		for (int i = 0; i < 6; i++)
			f[i][j] = row[i];
	}
	T y_lo, y_hi, comoving_beyond, lookback_beyond, age_below, age_here;
	T *const field[6] = {&y_lo, &y_hi, &comoving_beyond, &lookback_beyond, &age_below, &age_here};
	for (int i = 0; i < 6; i++)
		std::memcpy(field[i], f[i], sizeof(T));
	T y_e = a_emit - u.a_turn;
	root(y_e);
	T span = z < 1 ? z / (1 + z) : 1 - a_emit;
	T dy = y_hi == panels[0].y_hi ? span / (y_hi + y_e) : y_hi - y_e, part;
	gauss_legendre<times>(y_e, dy, u, part, comoving);
	comoving = comoving_beyond + comoving;
	if (times) {
		/* At the panel's lower end, its own integral, so that the age
		 * at z = inf is exactly 0. */
		part = y_e == y_lo ? age_here : part;
		lookback = lookback_beyond + part;
		age = age_below + (age_here - part);
	}
}

/* A stretch of y being tested: its integrals by the fixed rule, and the
 * rounding of the Friedmann sum they may carry. */
struct Piece {
	double y_lo, y_hi, age, comoving, noise;
};

/* The fixed rule over [y_lo, y_hi] in u, with its noise: the sum's terms
 * without their signs (bound) bound its rounding. */
inline Piece
panel_rule(const Universe &u, const Content &bound, double y_lo, double y_hi)
{
	Piece p = {y_lo, y_hi, 0, 0, 0};
	gauss_legendre<true>(y_lo, y_hi - y_lo, u, p.age, p.comoving);
	for (const auto &node : gauss) {
		double y = y_lo + (y_hi - y_lo) * node[0], a = u.a_turn + y * y, F, S;
		friedmann(a, u, F);
		friedmann(a, bound, S);
		p.noise += node[1] * 2 * y / std::sqrt(F) * (1 + 1 / a) * S / F;
	}
	p.noise *= 1e-15 * (y_hi - y_lo);
	return p;
}

/* Whether the rule over a whole piece and over its halves agree: within
 * 1e-14, or the noise, or not numbers at all. */
inline bool
agree(double whole, double halves, double noise)
{
	double miss = std::fabs(whole - halves);
	return miss <= 1e-14 * std::fabs(halves) || miss <= noise || !std::isfinite(miss);
}

/* The pieces, from now back: halvings of y, each cut again in two while
 * the rule over the halves disagrees with the rule over the whole. */
inline std::vector<Piece>
pieces_of(const Universe &u)
{
	Content bound = u;
	bound.Omega_k = std::fabs(u.Omega_k), bound.radiation_density = std::fabs(u.radiation_density);
	bound.m.Omega_M = std::fabs(u.m.Omega_M), bound.m.Lambda0 = std::fabs(u.m.Lambda0);
	/* The stack of pieces still to test, with their depths; the
	 * bottom one is tested last. */
	std::vector<std::pair<Piece, int>> todo;
	double y_now = std::sqrt(1 - u.a_turn);
	const int halvings = 40;
	todo.push_back({panel_rule(u, bound, 0, std::ldexp(y_now, -halvings)), 0});
	for (int j = halvings; j > 0; j--)
		todo.push_back({panel_rule(u, bound, std::ldexp(y_now, -j), std::ldexp(y_now, 1 - j)), 0});
	std::vector<Piece> done;
	while (!todo.empty()) {
		Piece p = todo.back().first;
		int depth = todo.back().second;
		todo.pop_back();
		double mid = p.y_lo + (p.y_hi - p.y_lo) / 2;
		Piece lo = panel_rule(u, bound, p.y_lo, mid), hi = panel_rule(u, bound, mid, p.y_hi);
		if (depth >= 60 || done.size() > 10000 ||
		    (agree(p.age, lo.age + hi.age, p.noise) && agree(p.comoving, lo.comoving + hi.comoving, p.noise))) {
			done.push_back(p);
			continue;
		}
		todo.push_back({lo, depth + 1});
		todo.push_back({hi, depth + 1});
	}
	return done;
}

/*
 * Cuts y = sqrt(a - a_turn) from now back to 0 into panels on each of which
 * the fixed rule is exact to within 1e-14, or to the rounding of the
 * Friedmann sum where that is worse (near a turnaround, where its terms
 * cancel), and sums the integrals beyond and below each.
 */
inline std::vector<Panel>
divide(const Universe &u)
{
	std::vector<Piece> cut = pieces_of(u);
	double comoving = 0, lookback = 0, age = 0;
	std::vector<Panel> panels(cut.size());
	for (std::size_t k = 0; k < cut.size(); k++) {
		Panel &q = panels[k];
		q.y_lo = cut[k].y_lo, q.y_hi = cut[k].y_hi;
		q.a_lo = u.a_turn + q.y_lo * q.y_lo;
		q.comoving = comoving, q.lookback = lookback;
		q.age_here = cut[k].age;
		comoving += cut[k].comoving, lookback += cut[k].age;
	}
	for (std::size_t k = cut.size(); k-- > 0;) {
		panels[k].age_below = age;
		age += panels[k].age_here;
	}
	return panels;
}

/* The direct exact rule's panels of u, cut at their first use. */
inline const std::vector<Panel> &
panels_of(const Universe &u)
{
	std::call_once(u.cut->once, [&] { u.cut->panels = divide(u); });
	return u.cut->panels;
}

/* The direct exact rule at one z: the tables' reference, and their values
 * where they have none. */
inline void
direct(double z, const Universe &u, double &age, double &lookback, double &comoving)
{
	exact<true>(z, emission(z), u, panels_of(u), age, lookback, comoving);
}

/* Lays u's tables for the count redshifts at z: the distances' panels up
 * to the highest z's, and with times the age's. */
inline void
lay_for(const Universe &u, const double *z, std::size_t count, bool times)
{
	auto by_rule = [&](double at, double &a, double &l, double &c) { direct(at, u, a, l, c); };
	double most = 0;
	for (std::size_t k = 0; k < count; k++)
		most = z[k] > most && z[k] < tables::top - 1 ? z[k] : most;
	unsigned long long panel;
	double s;
	tables::locate(1 + most, panel, s);
	if (times)
		tables::lay_age(*u.tables, u, static_cast<int>(panel), by_rule);
	else
		tables::lay(*u.tables, u, static_cast<int>(panel), by_rule);
}

/* Whether the tables' value c at z stands: z within them, c a number (a
 * panel they leave to the direct rule holds nan in every table). */
inline bool
covered(double z, double c)
{
	return z >= 0 && 1 + z < tables::top && c == c;
}

/*
 * The tables' values at the lanes of z, laid for them (lay_for), those
 * asked for: comoving distance and lookback time z times their tables,
 * the age its table.  A lane they do not cover (covered()) holds what its
 * caller replaces by the direct rule's value.
 */
template <typename T>
inline void
tabled(const T &z, const Universe &u, bool comoving_too, bool lookback_too, bool age_too, T &age, T &lookback,
       T &comoving)
{
	typedef typename Bits<T>::type I;
	const tables::Tables &t = *u.tables;
	T s, K;
	I panel;
	tables::locate(1 + z, panel, s);
	panel = panel < static_cast<unsigned>(tables::count) ? panel : 0;
	if (comoving_too) {
		tables::polynomial(t.comoving, panel, s, K);
		comoving = z * K;
	}
	if (lookback_too) {
		tables::polynomial(t.lookback, panel, s, K);
		lookback = z * K;
	}
	if (age_too)
		tables::polynomial(t.age, panel, s, age);
}

/*
 * The integrals at the lanes of z: the age, from the beginning to the
 * emission, and the lookback time, from the emission to now, in units of
 * 1/H0, and the comoving distance in units of c/H0.  Without times only
 * the comoving distance is taken, and the lookback time where asked for;
 * those not taken are left as they were.
 */
template <bool times, typename T, bool lookback_too = times>
inline void
integrals(const T &z, const Universe &u, T &age, T &lookback, T &comoving)
{
	T a_emit = 1.0 / (1.0 + z);
	if (!u.cut) {
		T s0, s1, s2;
		switch (u.kind) {
		case 0:
			sums<times, T, lookback_too>(a_emit, u, s0, s1, s2);
			break;
		case evolving_kind:
			sums<times, T, lookback_too, evolving_kind>(a_emit, u, s0, s1, s2);
			break;
		case massive_kind:
			sums<times, T, lookback_too, massive_kind>(a_emit, u, s0, s1, s2);
			break;
		default:
			sums<times, T, lookback_too, evolving_kind | massive_kind>(a_emit, u, s0, s1, s2);
		}
		midpoint(a_emit, s0, s1, s2);
		if (times)
			age = s0;
		if (lookback_too)
			lookback = s1;
		comoving = s2;
	} else if (u.tables) {
		/* Lane by lane, the direct rule where the tables do not cover it. */
		const std::size_t width = sizeof(T) / sizeof(double);
		double zs[width], out[3][width];
		T *const to[3] = {&age, &lookback, &comoving};
		const bool asked[3] = {times, lookback_too, true};
		std::memcpy(zs, &z, sizeof zs);
		lay_for(u, zs, width, times);
		tabled(z, u, true, lookback_too, times, age, lookback, comoving);
		for (int i = 0; i < 3; i++)
			if (asked[i])
				std::memcpy(out[i], to[i], sizeof out[i]);
		for (std::size_t j = 0; j < width; j++)
			if (!covered(zs[j], out[2][j]))
				direct(zs[j], u, out[0][j], out[1][j], out[2][j]);
		for (int i = 0; i < 3; i++)
			if (asked[i])
				std::memcpy(to[i], out[i], sizeof out[i]);
	} else {
		T unused;
		exact<times || lookback_too>(z, a_emit, u, panels_of(u), times ? age : unused,
					     lookback_too ? lookback : unused, comoving);
	}
}

/* What of a redshift's depth a pass takes (kernels.h's depths()): of a
 * universe with tables only the integrals named (the midpoint rule takes
 * all its kernel's), and the growth where the universe has it. */
enum Takes { takes_comoving = 1, takes_lookback = 2, takes_age = 4, takes_growth = 8, takes_all = 15 };

/* What a redshift gives: distances in Mpc, times in Gyr. */
struct Depth {
	double d_L, d_c, d_A;
	double t_age, t_lookback, t_now;
	double d_M; /* the transverse comoving distance */
	double D = NAN, f = NAN; /* the growth factor and rate, where the run solved for them */
};

/* The radial comoving distance D_C in Mpc bent into the transverse one,
 * by sinh (open) or sin (closed; beyond the antipode it turns negative,
 * and is printed so); the angle it subtends at the curvature radius,
 * which the derivative in inverse.h needs, in *angle where given. */
inline double
transverse(const Universe &u, double D_C, double *angle = nullptr)
{
	double x = std::sqrt(std::fabs(u.Omega_k)) * D_C / u.hubble_distance;
	if (angle)
		*angle = x;
	return u.Omega_k > 0 ? u.hubble_distance / std::sqrt(u.Omega_k) * std::sinh(x)
			     : u.hubble_distance / std::sqrt(-u.Omega_k) * std::sin(x);
}

/*
 * Distances and times at z from its integrals.  A universe that never was
 * at z (a_turn) has none of them, and one that was, but came through a
 * stretch where it could not be, has no age.  At z = inf the distances are
 * their limits: d_L infinite, d_c the comoving horizon, d_A 0.
 */
inline Depth
depth(double z, const Universe &u, double age, double lookback, double comoving)
{
	Depth d;
	if (emission(z) < u.a_turn)
		return {NAN, NAN, NAN, NAN, NAN, NAN, NAN};
	if (u.Omega_k == 0) {
		/* Flat: the transverse distance is the radial one. */
		d.d_L = (comoving * (1 + z)) * u.hubble_distance;
		d.d_c = d.d_M = std::isinf(z) ? comoving * u.hubble_distance : d.d_L / (1 + z);
		d.d_A = d.d_c / (1 + z);
	} else {
		/* Curved: the transverse comoving distance D_M is the radial
		 * D_C bent. */
		double D_C = comoving * u.hubble_distance;
		double D_M = transverse(u, D_C);
		d.d_L = (1 + z) * D_M;
		d.d_c = D_C;
		d.d_M = D_M;
		d.d_A = D_M / (1 + z);
	}
	double age_now = age + lookback;
	d.t_age = age * u.hubble_time;
	d.t_lookback = lookback * u.hubble_time;
	d.t_now = age_now * u.hubble_time;
	if (u.a_turn > 0)
		d.t_age = d.t_now = NAN;
	return d;
}

/* E(z) = H/H0 at z, from the Friedmann sum; nan where the universe never was. */
inline double
rate(double z, const Universe &u)
{
	double a = emission(z), F;
	friedmann(a, u, F);
	return a < u.a_turn ? NAN : std::sqrt(F) / a;
}

/* d(d_L)/dz at z, in Mpc: d_M + (1 + z) dD_M/dD_C c/(H0 E), the transverse
 * distance's bending of the radial one's slope 1/E. */
inline double
dd_L(double z, const Universe &u, const Depth &d, double E)
{
	double bend = 1, x;
	if (u.Omega_k != 0) {
		transverse(u, d.d_c, &x);
		bend = u.Omega_k > 0 ? std::cosh(x) : std::cos(x);
	}
	return d.d_M + (1 + z) * bend * u.hubble_distance / E;
}

/*
 * The comoving volume inside the radial distance D_C, whole sky, in Mpc^3:
 * 4 pi/3 D_C^3 when flat; curved, with R = c/H0/sqrt|Omega_k| and
 * x = D_C/R, pi R^3 (sinh 2x - 2x) when open and pi R^3 (2x - sin 2x) when
 * closed, written as 4 pi/3 D_C^3 g(x), g = 3 (sinh 2x - 2x)/(4 x^3) or its
 * like, which below x = 0.5 is the sum of 6 (+-4x^2)^m/(2m + 3)!, so that a
 * nearly flat universe loses no digits to the subtraction.
 */
inline double
volume(const Universe &u, double D_C)
{
	double flat = 4 * M_PI / 3 * D_C * D_C * D_C;
	if (u.Omega_k == 0 || D_C == 0 || std::isinf(D_C))
		return flat;
	double x, y, g = 0;
	transverse(u, D_C, &x);
	y = 2 * x;
	double s = u.Omega_k > 0 ? 1 : -1;
	if (std::fabs(x) < 0.5) {
		double t = 1;
		for (int m = 0; m < 12; m++) {
			g += t;
			t *= s * y * y / ((2 * m + 4) * (2 * m + 5));
		}
	} else {
		g = 3 * (s > 0 ? std::sinh(y) - y : y - std::sin(y)) / (4 * x * x * x);
	}
	return flat * g;
}

} // namespace expansion
