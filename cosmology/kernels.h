/*
 * The vector paths: the integrals of expansion.h for many redshifts at a
 * time, in the widest lanes the processor runs, chosen at run time, and
 * skytable's depths through them, with the growth where a run solved for it.
 */
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "expansion.h"
#include "growth.h"

namespace expansion {

/* A vector path: the integrals for count lanes of z (lane_integrals below). */
typedef void Kernel(const double *z, std::size_t count, const Universe &u, double *age,
		    double *lookback, double *comoving);

/* The depth at each of count redshifts through a kernel (none: no
 * integrals), what takes says: skytable's numbers.  A negative redshift
 * has no distance (skydepth's 0 Mpc) and no times. */
inline void
depths(Kernel *kernel, const Universe &u, const double *zs, std::size_t count, Depth *out, int takes = takes_all)
{
	/* Each thread keeps its room from call to call: blocks of thousands of
	 * redshifts would otherwise map and fault in their pages every time. */
	thread_local std::vector<double> v[3];
	/* Under the midpoint rule the kernel writes what its sums take, and
	 * the rest is 0; from tables, what is asked for, and the rest is 0. */
	double *room[3];
	const int what[3] = {takes_age, takes_lookback, takes_comoving};
	for (int i = 0; i < 3; i++) {
		bool written = kernel && u.tables && (takes & what[i]);
		if (written)
			v[i].resize(count);
		else
			v[i].assign(count, 0);
		room[i] = written || !u.tables ? v[i].data() : nullptr;
	}
	if (kernel)
		kernel(zs, count, u, room[0], room[1], room[2]);
	const double *age = v[0].data(), *lookback = v[1].data(), *comoving = v[2].data();
	for (std::size_t k = 0; k < count; k++)
		out[k] = zs[k] < 0 ? Depth{0, 0, 0, NAN, NAN, NAN, 0} : depth(zs[k], u, age[k], lookback[k], comoving[k]);
	if (u.growth && (takes & takes_growth))
		for (std::size_t k = 0; k < count; k++)
			growth::at(*u.growth, u, zs[k], out[k].D, out[k].f);
}

/*
 * The tables' integrals (expansion.h) for count lanes of z, V's width at a
 * time, those whose room is given: the tables laid for them all first, and
 * a lane they do not cover the direct rule's.
 */
template <typename V>
inline void
lane_tabled(const double *z, std::size_t count, const Universe &u, double *age, double *lookback, double *comoving)
{
	const std::size_t width = sizeof(V) / sizeof(double);
	double *const to[3] = {age, lookback, comoving};
	lay_for(u, z, count, age != nullptr);
	for (std::size_t k = 0; k < count; k += width) {
		std::size_t n = std::min(width, count - k);
		double in[width] = {}, out[width];
		V zv, s[3] = {};
		/* A whole group straight from z and to its rooms; the last one
		 * through arrays. */
		for (std::size_t j = 0; n < width && j < n; j++)
			in[j] = z[k + j];
		std::memcpy(&zv, n == width ? z + k : in, sizeof zv);
		tabled(zv, u, comoving != nullptr, lookback != nullptr, age != nullptr, s[0], s[1], s[2]);
		for (int i = 0; i < 3; i++) {
			if (!to[i])
				continue;
			std::memcpy(n == width ? to[i] + k : out, &s[i], sizeof s[i]);
			if (n < width)
				std::memcpy(to[i] + k, out, n * sizeof(double));
		}
	}
	/* Which value tells whether a lane is covered. */
	const double *told = comoving ? comoving : lookback ? lookback : age;
	for (std::size_t k = 0; told && k < count; k++) {
		if (covered(z[k], told[k]))
			continue;
		double lane[3];
		direct(z[k], u, lane[0], lane[1], lane[2]);
		for (int i = 0; i < 3; i++)
			if (to[i])
				to[i][k] = lane[i];
	}
}

/*
 * The integrals for count lanes of z, V's width at a time; the last group
 * is padded with z = 0 and the padding thrown away.  Without times, age is
 * not touched, nor lookback unless asked for; either may then be null.  A
 * universe with tables takes them (lane_tabled), and of those only the ones
 * whose room is given.
 */
template <bool times, typename V, bool lookback_too = times>
inline void
lane_integrals(const double *z, std::size_t count, const Universe &u, double *age,
	       double *lookback, double *comoving)
{
	if (u.tables) {
		lane_tabled<V>(z, count, u, times ? age : nullptr, lookback_too ? lookback : nullptr, comoving);
		return;
	}
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
