/*
 * The quantities skytable prints, each defined once: its name, unit and
 * meaning, whether -from takes it, and how it is computed from a
 * redshift's depth.  The table drives -columns and -from, the header line,
 * the error that lists the names, the completions (CMake reads the rows)
 * and the tests; keep one row to a line.
 */
#pragma once

#include <cmath>
#include <cstring>
#include <string>

#include "expansion.h"

namespace columns {

enum Id { z, d_L, d_c, d_M, d_A, mu, kpc_arcsec, V_c, dV_c, H, dd_L, t_age, t_lookback, t_now };

struct Column {
	Id id;
	const char *name, *unit, *what;
	bool from; /* whether -from takes it */
};

const Column table[] = {
	{z, "z", "", "redshift (with -from, the one found)", true},
	{d_L, "d_L", "Mpc", "luminosity distance, (1 + z) d_M", true},
	{d_c, "d_c", "Mpc", "comoving line-of-sight distance", true},
	{d_M, "d_M", "Mpc", "transverse comoving distance, d_L/(1 + z)", false},
	{d_A, "d_A", "Mpc", "angular diameter distance, d_M/(1 + z)", false},
	{mu, "mu", "mag", "distance modulus, 5 log10(d_L/10 pc)", true},
	{kpc_arcsec, "kpc_arcsec", "kpc", "proper kpc subtended by one arcsecond, d_A pi/648", false},
	{V_c, "V_c", "Gpc^3", "comoving volume inside z, whole sky", true},
	{dV_c, "dV_c", "Mpc^3", "comoving volume per unit z per steradian, c/H0 d_M^2/E", false},
	{H, "H", "km/s/Mpc", "Hubble parameter at z, H0 E, E = H/H0 from the Friedmann sum", false},
	{dd_L, "dd_L", "Mpc", "derivative of d_L in z, d_M + (1 + z) c/H0 cos(x)/E", false},
	{t_age, "t_age", "Gyr", "age at z", true},
	{t_lookback, "t_lookback", "Gyr", "lookback time to z", true},
	{t_now, "t_now", "Gyr", "present age, t_age + t_lookback", false},
};
const int count = sizeof table / sizeof table[0];

/* Why -from does not take d_A. */
const char *const two_redshifts = "every d_A below its greatest belongs to two redshifts; give d_L or d_c";

/* The columns' names, or those -from takes, separated by commas. */
inline std::string
names(bool from_only)
{
	std::string list;
	for (const Column &c : table)
		if (c.from || !from_only)
			list.append(list.empty() ? "" : ", ").append(c.name);
	return list;
}

/* The column of a name, or null. */
inline const Column *
named(const char *name, std::size_t len)
{
	for (const Column &c : table)
		if (std::strlen(c.name) == len && !std::strncmp(c.name, name, len))
			return &c;
	return nullptr;
}

/* The column's value at z, from the depth there.  A negative redshift,
 * which has no distance, gives 0 for the distances and volumes and what
 * follows from them, nan for the rest. */
inline double
value(Id id, double z, const expansion::Universe &u, const expansion::Depth &d)
{
	switch (id) {
	case columns::z:
		return z;
	case d_L:
		return d.d_L;
	case d_c:
		return d.d_c;
	case d_M:
		return d.d_M;
	case d_A:
		return d.d_A;
	case mu:
		return 5 * std::log10(d.d_L) + 25;
	case kpc_arcsec:
		return d.d_A * (1000 * M_PI / 648000);
	case V_c:
		return z < 0 ? 0 : std::isnan(d.d_c) ? NAN : expansion::volume(u, d.d_c) * 1e-9;
	case dV_c:
		return z < 0 ? 0 : u.hubble_distance * (d.d_M * d.d_M) / expansion::rate(z, u);
	case H:
		return z < 0 ? NAN : u.m.H0 * expansion::rate(z, u);
	case dd_L:
		/* At z = inf the second term's limit is 0: E grows faster than
		 * 1 + z under matter or radiation. */
		return z < 0 ? NAN : std::isinf(z) ? d.d_M : expansion::dd_L(z, u, d, expansion::rate(z, u));
	case t_age:
		return d.t_age;
	case t_lookback:
		return d.t_lookback;
	default:
		return d.t_now;
	}
}

} // namespace columns
