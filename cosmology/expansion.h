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
 * independent redshifts.  Vector division and square root are exact per
 * lane, the logarithm and exponential are the kit's own, made of those and
 * of integer operations on the bits, and no operation is fused or
 * reordered (-ffp-contract=off), so every lane gets the bits the scalar
 * code gets.
 */
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace expansion {

const int steps = 1000; /* midpoint steps, for each of the two ranges */

/* What a run is asked for. */
struct Model {
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	double radiation = 4.165e-5; /* Omega_r h^2, h = H0/100 */
	double w0 = -1, wa = 0;	     /* dark energy: w(a) = w0 + wa (1 - a) */
	bool exact = false;	     /* the integrals' true values, not the midpoint rule's */
};

/* A stretch of the exact rule's variable y = sqrt(a - a_turn), from y_lo
 * up to y_hi, over which a fixed Gauss-Legendre rule is exact to within
 * 1e-14, with the integrals beyond it. */
struct Panel {
	double a_lo;		   /* a_turn + y_lo^2 */
	double y_lo, y_hi;
	double comoving, lookback; /* the integrals from y_hi to now */
	double age_below, age_here; /* the age integral up to y_lo, and over the panel */
};

/* The parameters of a run, and what follows from them alone. */
struct Universe {
	Model m;
	double Omega_k;		  /* 1 - (Omega_M + Lambda0): exactly 0 when they add up to 1 */
	double hubble_distance;	  /* Mpc */
	double radiation_density; /* Omega_r h^2 / (h*h), h = H0/100 */
	double hubble_time;	  /* Gyr: a megaparsec in km over a Julian gigayear in s, over H0 */
	bool evolving;		  /* whether w0, wa are not a cosmological constant's */
	double de_power, de_decay; /* the vacuum term is Lambda0 exp(de_power ln a + de_decay (1 - a)) */
	double a_turn; /* the scale factor below which the universe never was on its way to now,
			* 0 when it was at every one (turnaround() below) */
	std::vector<Panel> panels; /* the exact rule's, empty under the midpoint rule */
};

inline double turnaround(const Universe &u);
inline void divide(Universe &u);

inline Universe
universe(const Model &m)
{
	Universe u;
	u.m = m;
	u.Omega_k = 1 - (m.Omega_M + m.Lambda0);
	u.hubble_distance = 299792.458 / m.H0;
	/* R / 1e-4 is exactly 0.4165 for the default R. */
	u.radiation_density = ((m.radiation / 1e-4 / m.H0) / m.H0);
	u.hubble_time = (3.0856775814913673e19 / 3.15576e16) / m.H0;
	u.evolving = m.w0 != -1 || m.wa != 0;
	u.de_power = 2 - 3 * (1 + m.w0 + m.wa);
	u.de_decay = -3 * m.wa;
	u.a_turn = turnaround(u);
	if (m.exact)
		divide(u);
	return u;
}

/* The scale factor at emission. */
inline double
emission(double z)
{
	return 1.0 / (1.0 + z);
}

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

/* a H/H0 squared: the Friedmann sum times a^2, left to right, the curvature
 * term first, so that a flat universe adds an exact 0; radiation is divided
 * by a twice, not by a squared a.  Radiation comes on top of
 * Omega_M + Lambda0 + Omega_k = 1.  Dark energy whose equation of state
 * evolves, w(a) = w0 + wa (1 - a), scales the vacuum term Lambda0 a^2 by
 * a^(-3 (1 + w0 + wa)) exp(-3 wa (1 - a)).  Vectors go by reference, not by
 * value, for the reason given at root(). */
template <bool evolving, typename T>
inline void
friedmann(const T &a, const Universe &u, T &r)
{
	if (!evolving) {
		r = u.Omega_k + u.radiation_density / a / a + u.m.Omega_M / a + u.m.Lambda0 * a * a;
	} else {
		T e;
		ln(a, e);
		expo(u.de_power * e + u.de_decay * (1 - a), e);
		r = u.Omega_k + u.radiation_density / a / a + u.m.Omega_M / a + u.m.Lambda0 * e;
	}
}

template <typename T>
inline void
friedmann(const T &a, const Universe &u, T &r)
{
	if (u.evolving)
		friedmann<true>(a, u, r);
	else
		friedmann<false>(a, u, r);
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
template <bool times, typename T, bool lookback = times, bool evolving = false>
inline void
sums(const T &a_emit, const Universe &u, T &age_sum, T &lookback_sum, T &comoving_sum)
{
	/* a H/H0 */
	auto rate = [&](const T &a, T &r) {
		friedmann<evolving>(a, u, r);
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
panel_at(const Universe &u, double a)
{
	std::size_t lo = 0, hi = u.panels.size() - 1;
	while (lo < hi) {
		std::size_t mid = (lo + hi) / 2;
		if (u.panels[mid].a_lo <= a)
			hi = mid;
		else
			lo = mid + 1;
	}
	return u.panels[lo];
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
exact(const T &z, const T &a_emit, const Universe &u, T &age, T &lookback, T &comoving)
{
	const std::size_t width = sizeof(T) / sizeof(double);
	double at[width], f[6][width];
	std::memcpy(at, &a_emit, sizeof at);
	for (std::size_t j = 0; j < width; j++) {
		const Panel &p = panel_at(u, at[j]);
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
	T dy = y_hi == u.panels[0].y_hi ? span / (y_hi + y_e) : y_hi - y_e, part;
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

/*
 * Cuts y = sqrt(a - a_turn) from now back to 0 into panels on each of which
 * the fixed rule is exact to within 1e-14, or to the rounding of the
 * Friedmann sum where that is worse (near a turnaround, where its terms
 * cancel): halvings of y, each cut again in two while the rule over the
 * halves disagrees with the rule over the whole, and sums the integrals
 * beyond and below each.
 */
inline void
divide(Universe &u)
{
	struct Piece {
		double y_lo, y_hi, age, comoving, noise;
	};
	/* The sum's terms without their signs bound its rounding. */
	Universe bound = u;
	bound.Omega_k = std::fabs(u.Omega_k), bound.radiation_density = std::fabs(u.radiation_density);
	bound.m.Omega_M = std::fabs(u.m.Omega_M), bound.m.Lambda0 = std::fabs(u.m.Lambda0);
	auto rule = [&](double y_lo, double y_hi) {
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
	};
	auto close = [](double whole, double halves, double noise) {
		double miss = std::fabs(whole - halves);
		return miss <= 1e-14 * std::fabs(halves) || miss <= noise || !std::isfinite(miss);
	};
	/* The stack of pieces still to test, with their depths; the
	 * bottom one is tested last. */
	std::vector<std::pair<Piece, int>> todo;
	double y_now = std::sqrt(1 - u.a_turn);
	const int halvings = 40;
	todo.push_back({rule(0, std::ldexp(y_now, -halvings)), 0});
	for (int j = halvings; j > 0; j--)
		todo.push_back({rule(std::ldexp(y_now, -j), std::ldexp(y_now, 1 - j)), 0});
	std::vector<Piece> pieces; /* from now back */
	while (!todo.empty()) {
		Piece p = todo.back().first;
		int depth = todo.back().second;
		todo.pop_back();
		double mid = p.y_lo + (p.y_hi - p.y_lo) / 2;
		Piece lo = rule(p.y_lo, mid), hi = rule(mid, p.y_hi);
		if (depth >= 60 || pieces.size() > 10000 ||
		    (close(p.age, lo.age + hi.age, p.noise) && close(p.comoving, lo.comoving + hi.comoving, p.noise))) {
			pieces.push_back(p);
			continue;
		}
		todo.push_back({lo, depth + 1});
		todo.push_back({hi, depth + 1});
	}
	double comoving = 0, lookback = 0, age = 0;
	u.panels.resize(pieces.size());
	for (std::size_t k = 0; k < pieces.size(); k++) {
		Panel &q = u.panels[k];
		q.y_lo = pieces[k].y_lo, q.y_hi = pieces[k].y_hi;
		q.a_lo = u.a_turn + q.y_lo * q.y_lo;
		q.comoving = comoving, q.lookback = lookback;
		q.age_here = pieces[k].age;
		comoving += pieces[k].comoving, lookback += pieces[k].age;
	}
	for (std::size_t k = pieces.size(); k-- > 0;) {
		u.panels[k].age_below = age;
		age += u.panels[k].age_here;
	}
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
	if (u.panels.empty()) {
		T s0, s1, s2;
		if (u.evolving)
			sums<times, T, lookback_too, true>(a_emit, u, s0, s1, s2);
		else
			sums<times, T, lookback_too>(a_emit, u, s0, s1, s2);
		midpoint(a_emit, s0, s1, s2);
		if (times)
			age = s0;
		if (lookback_too)
			lookback = s1;
		comoving = s2;
	} else {
		T unused;
		exact<times || lookback_too>(z, a_emit, u, times ? age : unused, lookback_too ? lookback : unused,
					     comoving);
	}
}

/* What a redshift gives: distances in Mpc, times in Gyr. */
struct Depth {
	double d_L, d_c, d_A;
	double t_age, t_lookback, t_now;
	double d_M; /* the transverse comoving distance */
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

/* A vector path: the integrals for count lanes of z (lane_integrals below). */
typedef void Kernel(const double *z, std::size_t count, const Universe &u, double *age,
		    double *lookback, double *comoving);

/* The depth at each of count redshifts through a kernel: skytable's numbers.
 * A negative redshift has no distance (skydepth's 0 Mpc) and no times. */
inline void
depths(Kernel *kernel, const Universe &u, const double *zs, std::size_t count, Depth *out)
{
	std::vector<double> v[3];
	for (auto &x : v)
		x.assign(count, 0);
	kernel(zs, count, u, v[0].data(), v[1].data(), v[2].data());
	for (std::size_t k = 0; k < count; k++)
		out[k] = zs[k] < 0 ? Depth{0, 0, 0, NAN, NAN, NAN, 0} : depth(zs[k], u, v[0][k], v[1][k], v[2][k]);
}

/*
 * The integrals for count lanes of z, V's width at a time; the last group
 * is padded with z = 0 and the padding thrown away.  Without times, age is
 * not touched, nor lookback unless asked for; either may then be null.
 */
template <bool times, typename V, bool lookback_too = times>
inline void
lane_integrals(const double *z, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	const std::size_t width = sizeof(V) / sizeof(double);
	for (std::size_t k = 0; k < count; k += width) {
		double in[width], out[3][width];
		for (std::size_t j = 0; j < width; j++)
			in[j] = k + j < count ? z[k + j] : 0;
		V zv, s0{}, s1{}, s2;
		std::memcpy(&zv, in, sizeof zv);
		integrals<times, V, lookback_too>(zv, u, s0, s1, s2);
		std::memcpy(out[0], &s0, sizeof s0);
		std::memcpy(out[1], &s1, sizeof s1);
		std::memcpy(out[2], &s2, sizeof s2);
		for (std::size_t j = 0; j < width && k + j < count; j++) {
			if (times)
				age[k + j] = out[0][j];
			if (lookback_too)
				lookback[k + j] = out[1][j];
			comoving[k + j] = out[2][j];
		}
	}
}

/* The vector paths, with everything inlined into them (flatten), so that the
 * AVX2 and AVX-512 ones are compiled for their instructions throughout.  The
 * baseline takes two lanes (SSE2 on x86-64, NEON on AArch64, plain code
 * elsewhere); AVX2 takes four, AVX-512 eight. */
template <bool times, bool lookback_too = times>
__attribute__((flatten)) inline void
lane_integrals_base(const double *z, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	lane_integrals<times, v2d, lookback_too>(z, count, u, age, lookback, comoving);
}

#if defined(__x86_64__) || defined(__i386__)
template <bool times, bool lookback_too = times>
__attribute__((target("avx2"), flatten)) inline void
lane_integrals_avx2(const double *z, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	lane_integrals<times, v4d, lookback_too>(z, count, u, age, lookback, comoving);
}

template <bool times, bool lookback_too = times>
__attribute__((target("avx512f"), flatten)) inline void
lane_integrals_avx512(const double *z, std::size_t count, const Universe &u, double *age,
		 double *lookback, double *comoving)
{
	lane_integrals<times, v8d, lookback_too>(z, count, u, age, lookback, comoving);
}

inline bool
have_avx2()
{
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx2");
}

inline bool
have_avx512()
{
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx512f");
}
#endif

/* The widest vector path this processor runs, with the sums asked for; no
 * wider than count redshifts need, since a pass costs what its widest lane
 * costs. */
inline Kernel *
fastest(bool times, bool lookback, std::size_t count = 8)
{
#if defined(__x86_64__) || defined(__i386__)
	if (have_avx512() && count > 4)
		return times ? lane_integrals_avx512<true> : lookback ? lane_integrals_avx512<false, true>
								 : lane_integrals_avx512<false>;
	if (have_avx2() && count > 2)
		return times ? lane_integrals_avx2<true> : lookback ? lane_integrals_avx2<false, true>
							       : lane_integrals_avx2<false>;
#endif
	(void)count;
	return times ? lane_integrals_base<true> : lookback ? lane_integrals_base<false, true>
						       : lane_integrals_base<false>;
}

} // namespace expansion
