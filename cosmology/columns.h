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
#include "ruler.h"

namespace columns {

enum Id { z, d_L, d_c, d_M, d_A, mu, kpc_arcsec, V_c, dV_c, H, dd_L, t_age, t_lookback, t_now, D, f_rate, fsigma8,
	  Omega_M_z, rho_c, D_H, D_V, r_s, eta, x_e, DM_rd, DH_rd, DV_rd, z_cmb, z_cos, d_c12, d_M12, d_A12, Sigma_crit, D_dt };

/* What a column is of: one redshift, one that -from takes as well, a
 * row's frames (frames.h: -zhel, -ra and -dec, -vpec), or a pair of
 * redshifts (-pairs), a lens at z1 and a source at z2. */
enum Use { single, invertible, frame, pair };

struct Column {
	Id id;
	const char *name, *unit, *what;
	Use use;
};

const Column table[] = {
	{z, "z", "", "redshift (with -from, the one found; with frames, z_cos)", invertible},
	{d_L, "d_L", "Mpc", "luminosity distance, (1 + z) d_M", invertible},
	{d_c, "d_c", "Mpc", "comoving line-of-sight distance", invertible},
	{d_M, "d_M", "Mpc", "transverse comoving distance, d_L/(1 + z)", single},
	{d_A, "d_A", "Mpc", "angular diameter distance, d_M/(1 + z)", single},
	{mu, "mu", "mag", "distance modulus, 5 log10(d_L/10 pc)", invertible},
	{kpc_arcsec, "kpc_arcsec", "kpc", "proper kpc subtended by one arcsecond, d_A pi/648", single},
	{V_c, "V_c", "Gpc^3", "comoving volume inside z, whole sky", invertible},
	{dV_c, "dV_c", "Mpc^3", "comoving volume per unit z per steradian, c/H0 d_M^2/E", single},
	{H, "H", "km/s/Mpc", "Hubble parameter at z, H0 E, E = H/H0 from the Friedmann sum", single},
	{dd_L, "dd_L", "Mpc", "derivative of d_L in z, d_M + (1 + z) c/H0 cos(x)/E", single},
	{t_age, "t_age", "Gyr", "age at z", invertible},
	{t_lookback, "t_lookback", "Gyr", "lookback time to z", invertible},
	{t_now, "t_now", "Gyr", "present age, t_age + t_lookback", single},
	{D, "D", "", "linear growth factor, 1 today", invertible},
	{f_rate, "f", "", "linear growth rate, dln D/dln a", single},
	{fsigma8, "fsigma8", "", "f D sigma8, sigma8 given (-sigma8)", single},
	{Omega_M_z, "Omega_M_z", "", "matter density parameter at z, Omega_M a^-3 (H0/H)^2", single},
	{rho_c, "rho_c", "M_sun/Mpc^3", "critical density at z, 3 H^2/(8 pi G)", single},
	{D_H, "D_H", "Mpc", "Hubble distance at z, c/H", single},
	{D_V, "D_V", "Mpc", "volume-averaged distance, (z d_M^2 D_H)^(1/3)", invertible},
	{r_s, "r_s", "Mpc", "comoving sound horizon, integral from z to inf of c_s dz/H", single},
	{eta, "eta", "Mpc", "comoving particle horizon, c times the conformal time at z", single},
	{x_e, "x_e", "", "free electrons per hydrogen nucleus", single},
	{DM_rd, "DM_rd", "", "d_M/r_d, r_d the sound horizon at the drag epoch", invertible},
	{DH_rd, "DH_rd", "", "D_H/r_d", invertible},
	{DV_rd, "DV_rd", "", "D_V/r_d", invertible},
	{z_cmb, "z_cmb", "", "redshift in the CMB frame, (1 + z_hel)/(gamma (1 - beta cos theta)) - 1", frame},
	{z_cos, "z_cos", "", "cosmological redshift, (1 + z_cmb)/(1 + z_pec) - 1, the distances' z", frame},
	{d_c12, "d_c12", "Mpc", "comoving distance from z1 to z2, d_c(z2) - d_c(z1)", pair},
	{d_M12, "d_M12", "Mpc", "transverse comoving distance from z1 to z2, d_c12 bent", pair},
	{d_A12, "d_A12", "Mpc", "angular diameter distance from z1 to z2, d_M12/(1 + z2)", pair},
	{Sigma_crit, "Sigma_crit", "M_sun/pc^2", "critical surface density, c^2/(4 pi G) D_s/(D_l D_ls)", pair},
	{D_dt, "D_dt", "Mpc", "time delay distance, (1 + z1) D_l D_s/D_ls", pair},
};
const int count = sizeof table / sizeof table[0];

/* Why -from does not take d_A. */
const char *const two_redshifts = "every d_A below its greatest belongs to two redshifts; give d_L or d_c";

/* The names of the columns -from takes (invertible) or the pair columns,
 * separated by commas; every column's without which. */
inline std::string
names(int which = -1)
{
	std::string list;
	for (const Column &c : table)
		if (which < 0 || c.use == which)
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

/* Whether the column needs the growth of structure solved (growth.h). */
inline bool
grows(Id id)
{
	return id == D || id == f_rate || id == fsigma8;
}

/* What of a redshift's depth the column takes (expansion::Takes): none
 * for what follows from H, the ruler or the redshift alone. */
inline int
takes(Id id)
{
	switch (id) {
	case t_age:
		return expansion::takes_age;
	case t_lookback:
		return expansion::takes_lookback;
	case t_now:
		return expansion::takes_age | expansion::takes_lookback;
	case D:
	case f_rate:
	case fsigma8:
		return expansion::takes_growth;
	case z:
	case H:
	case Omega_M_z:
	case rho_c:
	case D_H:
	case r_s:
	case eta:
	case x_e:
	case DH_rd:
	case z_cmb:
	case z_cos:
		return 0;
	default:
		return expansion::takes_comoving;
	}
}

/* Whether the column is seen at an object's observed redshift where it
 * has one apart from its cosmological one (frames.h): d_L, d_A and what
 * follows from them. */
inline bool
observed(Id id)
{
	return id == d_L || id == mu || id == d_A || id == kpc_arcsec;
}

/* What of the ruler (ruler.h) a column needs: nothing, the horizons, the
 * baryons and their thermal history, or r_d. */
enum Need { nothing, horizons, baryons, ruler_length };

inline Need
needs(Id id)
{
	return id == eta ? horizons : id == r_s || id == x_e ? baryons : id >= DM_rd && id <= DV_rd ? ruler_length : nothing;
}

/* D_V at z, from the depth there: 0 below z = 0, and at z = inf, where
 * z D_H falls as 1/sqrt(z) or faster; the cube root the kit's own, of the
 * same bits on every machine. */
inline double
volume_distance(double z, const expansion::Universe &u, const expansion::Depth &d)
{
	if (z < 0 || std::isinf(z))
		return 0;
	double x = z * (d.d_M * d.d_M) * (u.hubble_distance / expansion::rate(z, u)), y;
	if (!(x > 0))
		return x == 0 ? 0 : NAN;
	expansion::ln(x, y);
	expansion::expo(y / 3, x);
	return x;
}

/* Omega_M(z) = Omega_M a^-3 / E^2 = Omega_M / (a F), F the Friedmann sum;
 * as a -> 0, 0 under radiation and 1 without it. */
inline double
matter_at(double z, const expansion::Universe &u)
{
	double a = expansion::emission(z), F;
	if (a < u.a_turn)
		return NAN;
	if (a == 0)
		return u.radiation_density > 0 || !u.species.empty() ? 0 : 1;
	expansion::friedmann(a, u, F);
	return u.m.Omega_M / (a * F);
}

/* A pair column's value for a lens at z1 and a source at z2, from the
 * depths there; nan where z1 > z2.  D are angular diameter distances:
 * D_l at z1, D_s at z2, D_ls from z1 to z2. */
inline double
pair_value(Id id, double z1, double z2, const expansion::Universe &u, const expansion::Depth &d1,
	   const expansion::Depth &d2)
{
	if (!(z1 <= z2))
		return NAN;
	double d_c = d2.d_c - d1.d_c;
	double d_M = u.Omega_k == 0 ? d_c : expansion::transverse(u, d_c);
	double D_ls = d_M / (1 + z2);
	/* A source at z2 = inf: D_s and D_ls are both 0, and their ratio is
	 * that of the transverse distances. */
	bool endless = std::isinf(z2) && z1 < z2;
	switch (id) {
	case d_c12:
		return d_c;
	case d_M12:
		return d_M;
	case d_A12:
		return D_ls;
	case Sigma_crit: {
		/* c^2/(4 pi G M_sun) in 1/m, D_s/(D_l D_ls) in 1/Mpc. */
		double c = expansion::c_m_s, mpc_m = expansion::mpc_m, pc_m = mpc_m * 1e-6;
		double ratio = endless ? d2.d_M / d_M / d1.d_A : d2.d_A / (d1.d_A * D_ls);
		return c * c / (4 * M_PI * expansion::GM_sun) * ratio / mpc_m * (pc_m * pc_m);
	}
	default:
		return endless ? (1 + z1) * d1.d_A * (d2.d_M / d_M) : (1 + z1) * d1.d_A * d2.d_A / D_ls;
	}
}

/* The column's value at z, from the depth there.  A negative redshift,
 * which has no distance, gives 0 for the distances and volumes and what
 * follows from them, nan for the rest.  The frames' columns are z (rows.h
 * gives a row its own z_cmb). */
inline double
value(Id id, double z, const expansion::Universe &u, const expansion::Depth &d)
{
	if (id == columns::z || table[id].use == frame)
		return z;
	switch (id) {
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
	case t_now:
		return d.t_now;
	case D:
		return d.D;
	case f_rate:
		return d.f;
	case fsigma8:
		return d.f * d.D * u.m.sigma8;
	case Omega_M_z:
		return z < 0 ? NAN : matter_at(z, u);
	case D_H:
		return z < 0 ? NAN : u.hubble_distance / expansion::rate(z, u);
	case D_V:
		return volume_distance(z, u, d);
	case r_s:
		return ruler::sound_horizon(u, *u.ruler, z);
	case eta:
		return ruler::particle_horizon(u, *u.ruler, z);
	case x_e:
		return ruler::electrons(*u.ruler, z);
	case DM_rd:
		return d.d_M / u.ruler->r_d;
	case DH_rd:
		return z < 0 ? NAN : u.hubble_distance / expansion::rate(z, u) / u.ruler->r_d;
	case DV_rd:
		return volume_distance(z, u, d) / u.ruler->r_d;
	default: {
		/* 3 H^2 / (8 pi G), H in 1/s, over the Sun's mass per Mpc^3. */
		double H = u.m.H0 * expansion::rate(z, u) / expansion::mpc_km, mpc_m = expansion::mpc_m;
		return z < 0 ? NAN : 3 * (H * H) * (mpc_m * mpc_m * mpc_m) / (8 * M_PI * expansion::GM_sun);
	}
	}
}

} // namespace columns
