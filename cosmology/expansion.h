/*
 * The arithmetic whose digits skydepth and skytable print: the midpoint sums
 * over the expansion history of a universe with matter, vacuum energy,
 * radiation and the curvature those densities imply, and the distances and
 * times made from them.
 *
 * The order of every operation below fixes the printed digits, so it is
 * written once and both programs use it.  The sums are a template over the
 * number type: a double, or a vector of doubles whose lanes hold independent
 * redshifts.  Vector division and square root are exact per lane, and no
 * operation is fused or reordered (-ffp-contract=off), so every lane gets the
 * bits the scalar code gets.
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

/* The parameters of a run, and what follows from them alone. */
struct Universe {
	double Omega_M, Lambda0;
	double Omega_k;		  /* 1 - (Omega_M + Lambda0): exactly 0 when they add up to 1 */
	double hubble_distance;	  /* Mpc */
	double radiation_density; /* 4.165E-5/(h*h), h = H0/100 */
	double hubble_time;	  /* Gyr: a megaparsec in km over a Julian gigayear in s, over H0 */
	double a_turn; /* the scale factor below which the universe never was on its way to now,
			* 0 when it was at every one (turnaround() below) */
};

inline double turnaround(const Universe &u);

inline Universe
universe(double H0, double Omega_M, double Lambda0)
{
	Universe u = {Omega_M, Lambda0, 1 - (Omega_M + Lambda0), 299792.458 / H0, ((0.4165 / H0) / H0),
		      (3.0856775814913673e19 / 3.15576e16) / H0, 0};
	u.a_turn = turnaround(u);
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

/* a H/H0 squared: the Friedmann sum times a^2, left to right, the curvature
 * term first, so that a flat universe adds an exact 0; radiation is divided
 * by a twice, not by a squared a.  Radiation comes on top of
 * Omega_M + Lambda0 + Omega_k = 1.  Vectors go by reference, not by value,
 * for the reason given at root(). */
template <typename T>
inline void
friedmann(const T &a, const Universe &u, T &r)
{
	r = u.Omega_k + u.radiation_density / a / a + u.Omega_M / a + u.Lambda0 * a * a;
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
	if (u.Omega_k >= 0 && u.radiation_density >= 0 && u.Omega_M >= 0 && u.Lambda0 >= 0)
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
template <bool times, typename T, bool lookback = times>
inline void
sums(const T &a_emit, const Universe &u, T &age_sum, T &lookback_sum, T &comoving_sum)
{
	/* a H/H0 */
	auto rate = [&](const T &a, T &r) {
		friedmann(a, u, r);
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

/* What a redshift's sums give: distances in Mpc, times in Gyr. */
struct Depth {
	double d_L, d_c, d_A;
	double t_age, t_lookback, t_now;
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
 * Distances and times at z from its sums.  A universe that never was at z
 * (a_turn) has none of them, and one that was, but came through a stretch
 * where it could not be, has no age.  At z = inf the distances are their
 * limits: d_L infinite, d_c the comoving horizon, d_A 0.
 */
inline Depth
depth(double z, double a_emit, const Universe &u, double age_sum, double lookback_sum,
      double comoving_sum)
{
	Depth d;
	if (a_emit < u.a_turn)
		return {NAN, NAN, NAN, NAN, NAN, NAN};
	double comoving = ((1 - a_emit) * comoving_sum) / steps;
	if (u.Omega_k == 0) {
		/* Flat: the transverse distance is the radial one. */
		d.d_L = (comoving * (1 + z)) * u.hubble_distance;
		d.d_c = std::isinf(z) ? comoving * u.hubble_distance : d.d_L / (1 + z);
		d.d_A = d.d_c / (1 + z);
	} else {
		/* Curved: the transverse comoving distance D_M is the radial
		 * D_C bent. */
		double D_C = comoving * u.hubble_distance;
		double D_M = transverse(u, D_C);
		d.d_L = (1 + z) * D_M;
		d.d_c = D_C;
		d.d_A = D_M / (1 + z);
	}
	double age = (a_emit * age_sum) / steps;
	double lookback = ((1 - a_emit) * lookback_sum) / steps;
	double age_now = age + lookback;
	d.t_age = age * u.hubble_time;
	d.t_lookback = lookback * u.hubble_time;
	d.t_now = age_now * u.hubble_time;
	if (u.a_turn > 0)
		d.t_age = d.t_now = NAN;
	return d;
}

/* A vector path: the sums for count lanes of a_emit (lane_sums below). */
typedef void Kernel(const double *a_emit, std::size_t count, const Universe &u, double *age,
		    double *lookback, double *comoving);

/* The depth at each of count redshifts through a kernel: skytable's numbers.
 * A negative redshift has no distance (skydepth's 0 Mpc) and no times. */
inline void
depths(Kernel *kernel, const Universe &u, const double *zs, std::size_t count, Depth *out)
{
	std::vector<double> a_emit(count), sums[3];
	for (auto &v : sums)
		v.resize(count);
	for (std::size_t k = 0; k < count; k++)
		a_emit[k] = emission(zs[k]);
	kernel(a_emit.data(), count, u, sums[0].data(), sums[1].data(), sums[2].data());
	for (std::size_t k = 0; k < count; k++)
		out[k] = zs[k] < 0 ? Depth{0, 0, 0, NAN, NAN, NAN}
				   : depth(zs[k], a_emit[k], u, sums[0][k], sums[1][k], sums[2][k]);
}

/*
 * The sums for count lanes of a_emit, V's width at a time; the last group is
 * padded with a_emit = 1 and the padding thrown away.  Without times, age
 * is not touched, nor lookback unless asked for; either may then be null.
 */
template <bool times, typename V, bool lookback_too = times>
inline void
lane_sums(const double *a_emit, std::size_t count, const Universe &u, double *age,
	  double *lookback, double *comoving)
{
	const std::size_t width = sizeof(V) / sizeof(double);
	for (std::size_t k = 0; k < count; k += width) {
		double in[width], out[3][width];
		for (std::size_t j = 0; j < width; j++)
			in[j] = k + j < count ? a_emit[k + j] : 1;
		V a, s0, s1, s2;
		std::memcpy(&a, in, sizeof a);
		sums<times, V, lookback_too>(a, u, s0, s1, s2);
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
lane_sums_base(const double *a_emit, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	lane_sums<times, v2d, lookback_too>(a_emit, count, u, age, lookback, comoving);
}

#if defined(__x86_64__) || defined(__i386__)
template <bool times, bool lookback_too = times>
__attribute__((target("avx2"), flatten)) inline void
lane_sums_avx2(const double *a_emit, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	lane_sums<times, v4d, lookback_too>(a_emit, count, u, age, lookback, comoving);
}

template <bool times, bool lookback_too = times>
__attribute__((target("avx512f"), flatten)) inline void
lane_sums_avx512(const double *a_emit, std::size_t count, const Universe &u, double *age,
		 double *lookback, double *comoving)
{
	lane_sums<times, v8d, lookback_too>(a_emit, count, u, age, lookback, comoving);
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

} // namespace expansion
