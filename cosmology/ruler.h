/*
 * The ruler of baryon acoustic oscillations, for a universe with baryons
 * and a CMB temperature: the comoving sound horizon
 *
 *	r_s(z) = integral from z to inf of c_s dz/H,	c_s = c/sqrt(3 (1 + R)),
 *
 * R = 3 rho_b/(4 rho_gamma) = R0 a, and the comoving particle horizon, c eta,
 * the same without the sound speed's factor, both by the exact rule's
 * fixed Gauss-Legendre rule over its panels of y = sqrt(a) (expansion.h),
 * summed from a = 0 up; the Thomson optical depth from now back,
 *
 *	tau(z) = integral from 0 to z of c sigma_T n_e dz/((1 + z) H),
 *
 * over the thermal history (history.h), and the baryons' drag depth,
 * the same over R; and from them the redshift z_* where tau reaches 1, the
 * sound horizon r_* there and its angle, 100 theta_* = 100 r_* over D_M(z_*),
 * the drag epoch z_drag where the drag depth reaches 1 and r_d, the sound
 * horizon there, and matter-radiation equality, z_eq.  Built once for a
 * universe, as the growth is.
 */
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "expansion.h"
#include "history.h"

namespace ruler {

/* A panel of y = sqrt(a), with the horizons' integrals over it and below
 * it, in units of c/H0. */
struct Stretch {
	double y_lo, y_hi;
	double sound_below, sound_here, eta_below, eta_here;
};

/* The quantities a published r_d is checked against, and the fitting
 * formula's r_d. */
struct Ruler {
	recombination::History history;
	double R0;			 /* R today: 3 Omega_b/(4 Omega_gamma) */
	double hubble_distance;		 /* c/H0, Mpc */
	std::vector<Stretch> stretches;	 /* from y = 0 up to now */
	std::vector<double> tau_z, tau, drag; /* the optical depths at the history's steps, from z = 0 up */
	double z_star = NAN, r_star = NAN, theta_star = NAN, z_drag = NAN, r_drag = NAN, z_eq = NAN, r_fit = NAN;
	double r_d = NAN; /* the r_d the ratios divide by: given, fitted, or r_drag */
	bool thermal = false; /* whether the history was solved */
};

/* The integrands of the horizons in y at a panel's 12 nodes, times the
 * panel's width: of c eta and, with the sound speed, of r_s. */
inline void
horizons(const expansion::Universe &u, double R0, double y0, double dy, double &sound, double &eta)
{
	sound = eta = 0;
	for (const auto &node : expansion::gauss) {
		double y = y0 + dy * node[0], a = y * y, F;
		expansion::friedmann(a, u, F);
		double g = 2 * y / std::sqrt(F) / a;
		eta += node[1] * g;
		sound += node[1] * (g / std::sqrt(3 * (1 + R0 * a)));
	}
	sound *= dy, eta *= dy;
}

/* The horizons at a: the panel's integrals below, and over it up to a. */
inline void
horizons_at(const expansion::Universe &u, const Ruler &r, double a, double &sound, double &eta)
{
	double y = std::sqrt(a);
	auto k = std::upper_bound(r.stretches.begin(), r.stretches.end(), y,
				  [](double v, const Stretch &s) { return v < s.y_hi; }) -
		 r.stretches.begin();
	k = std::min<std::ptrdiff_t>(k, r.stretches.size() - 1);
	const Stretch &s = r.stretches[k];
	sound = eta = 0; /* at the panel's lower end (at a = 0, the big bang) nothing more */
	if (y > s.y_lo)
		horizons(u, r.R0, s.y_lo, y - s.y_lo, sound, eta);
	sound = s.sound_below + sound;
	eta = s.eta_below + eta;
}

/* r_s at z, Mpc; nan below z = 0, and without baryons. */
inline double
sound_horizon(const expansion::Universe &u, const Ruler &r, double z)
{
	double sound, eta;
	if (!(z >= 0) || !(r.R0 > 0) || r.stretches.empty())
		return NAN;
	horizons_at(u, r, expansion::emission(z), sound, eta);
	return sound * r.hubble_distance;
}

/* c eta at z, Mpc: the comoving particle horizon; nan below z = 0, and
 * in a universe that never was at a = 0. */
inline double
particle_horizon(const expansion::Universe &u, const Ruler &r, double z)
{
	double sound, eta;
	if (!(z >= 0) || r.stretches.empty())
		return NAN;
	horizons_at(u, r, expansion::emission(z), sound, eta);
	return eta * r.hubble_distance;
}

/* dtau/dz at z, x_e there given: Thomson's, and with drag the baryons',
 * over R. */
inline double
thomson(const Ruler &r, double z, double x_e, bool drag)
{
	const recombination::Gas &g = r.history.gas;
	double d = expansion::c_m_s * recombination::sigma_T * g.n_H0 * x_e * (1 + z) * (1 + z) / recombination::hubble(g, z);
	return drag ? d * (1 + z) / r.R0 : d;
}

/* The optical depths' increase from z0 up to z1, Thomson's and the
 * baryons', by the 4-node Gauss-Legendre rule: within one step of the
 * history (k its index), or above them all. */
struct Depth {
	double tau, drag;
};

inline Depth
deeper(const Ruler &r, double z0, double z1, std::ptrdiff_t k = -1)
{
	static const double x[2] = {0.33998104358485626, 0.86113631159405258};
	static const double w[2] = {0.65214515486254614, 0.34785484513745386};
	double mid = (z0 + z1) / 2, half = (z1 - z0) / 2;
	Depth sum = {0, 0};
	for (int i = 0; i < 2; i++)
		for (double z : {mid - half * x[i], mid + half * x[i]}) {
			double x_e = k < 0 ? recombination::x_e(r.history, z) : recombination::x_e_in(r.history, k, z);
			double d = thomson(r, z, x_e, false);
			sum.tau += w[i] * d, sum.drag += w[i] * (d * (1 + z) / r.R0);
		}
	return {sum.tau * half, sum.drag * half};
}

/* The z at which an optical depth reaches 1: by the steps of its sum (the
 * history's, and above them steps in ln(1 + z) of 0.02), then bisection
 * inside the step; nan where it never does, below z = 1e9. */
inline double
reaching_one(const Ruler &r, bool drag)
{
	const std::vector<double> &depth = drag ? r.drag : r.tau;
	auto deeper = [&](double from, double to, std::ptrdiff_t k = -1) {
		Depth d = ruler::deeper(r, from, to, k);
		return drag ? d.drag : d.tau;
	};
	if (std::isnan(depth.back()))
		return NAN; /* a history that failed somewhere: its sums are nan from there up */
	auto k = std::lower_bound(depth.begin(), depth.end(), 1.0) - depth.begin();
	double z0, z1, t0;
	if (k < static_cast<std::ptrdiff_t>(depth.size()) && k > 0) {
		z0 = r.tau_z[k - 1], z1 = r.tau_z[k], t0 = depth[k - 1];
	} else {
		z0 = r.tau_z.back(), t0 = depth.back();
		for (;; z0 = z1, t0 += deeper(z0, z1)) {
			z1 = (1 + z0) * 1.0202013400267558 - 1; /* e^0.02 */
			if (z1 > 1e9)
				return NAN;
			if (t0 + deeper(z0, z1) >= 1)
				break;
		}
	}
	/* Newton's steps inside the bracket, from its middle, bisecting
	 * where one would leave it. */
	std::ptrdiff_t step = z1 <= r.tau_z.back() ? static_cast<std::ptrdiff_t>(recombination::step_at(r.history, z1)) : -1;
	double lo = z0, hi = z1, z = lo + (hi - lo) / 2;
	for (int i = 0; i < 60; i++) {
		double miss = t0 + deeper(z0, z, step) - 1;
		double x_e = step < 0 ? recombination::x_e(r.history, z) : recombination::x_e_in(r.history, step, z);
		(miss < 0 ? lo : hi) = z;
		double next = z - miss / thomson(r, z, x_e, drag);
		if (!(next > lo && next < hi))
			next = lo + (hi - lo) / 2;
		if (std::fabs(next - z) <= 1e-13 * z)
			return next;
		z = next;
	}
	return z;
}

/* The panels of the horizons, from the exact rule's pieces. */
inline void
stretch(const expansion::Universe &u, Ruler &r)
{
	std::vector<expansion::Piece> pieces = expansion::pieces_of(u);
	double sound = 0, eta = 0;
	for (std::size_t k = pieces.size(); k-- > 0;) {
		Stretch s = {pieces[k].y_lo, pieces[k].y_hi, sound, 0, eta, 0};
		horizons(u, r.R0, s.y_lo, s.y_hi - s.y_lo, s.sound_here, s.eta_here);
		sound += s.sound_here, eta += s.eta_here;
		r.stretches.push_back(s);
	}
}

/* The optical depths at the history's steps, from z = 0 up. */
inline void
depths(Ruler &r)
{
	const std::vector<double> &z = r.history.z;
	double tau = 0, drag = 0;
	r.tau_z.assign(1, 0.0), r.tau.assign(1, 0.0), r.drag.assign(1, 0.0);
	for (std::size_t k = z.size() - 1; k-- > 0;) {
		if (!(z[k] > z[k + 1]))
			continue;
		Depth d = deeper(r, z[k + 1], z[k], k);
		tau += d.tau, drag += d.drag;
		r.tau_z.push_back(z[k]), r.tau.push_back(tau), r.drag.push_back(drag);
	}
}

/* r_d by Aubourg et al. 2015, eq. 16, from the physical densities of the
 * matter, the baryons and the massive neutrinos, Mpc. */
inline double
fitted(const expansion::Universe &u)
{
	double h2 = (u.m.H0 / 100) * (u.m.H0 / 100);
	double massive = u.neutrinos - (u.radiation_density - u.photons);
	double w_nu = massive * h2 + 0.0006, w_cb = u.m.Omega_M * h2, w_b = u.m.Omega_b * h2;
	return 55.154 * recombination::e_to(-72.3 * w_nu * w_nu) / (recombination::power(w_cb, 0.25351) *
								   recombination::power(w_b, 0.12807));
}

/* x_e at z; nan below z = 0, and where there is no history. */
inline double
electrons(const Ruler &r, double z)
{
	return z >= 0 && r.thermal ? recombination::x_e(r.history, z) : NAN;
}

/* The ruler of u: its horizons where it expanded from a = 0 (a_turn 0);
 * with baryons and a temperature, and where thermal says so, its thermal
 * history, optical depths and numbers; and the r_d its ratios divide by,
 * the model's given or fitted one, or r_drag. */
inline std::shared_ptr<const Ruler>
of(const expansion::Universe &u, bool thermal = true)
{
	auto r = std::make_shared<Ruler>();
	r->hubble_distance = u.hubble_distance;
	bool baryons = u.m.Omega_b > 0 && u.photons > 0;
	r->R0 = baryons ? 3 * u.m.Omega_b / (4 * u.photons) : 0;
	r->r_fit = u.m.Omega_b > 0 ? fitted(u) : NAN;
	double early = u.radiation_density;
	for (const expansion::Species &s : u.species)
		early += u.nu_weight * s.count; /* relativistic then */
	r->z_eq = u.m.Omega_M / early - 1;
	if (u.a_turn == 0)
		stretch(u, *r);
	r->thermal = thermal && baryons && u.a_turn == 0;
	if (r->thermal) {
		r->history = recombination::history(u);
		depths(*r);
		r->z_star = reaching_one(*r, false);
		r->z_drag = reaching_one(*r, true);
		r->r_star = sound_horizon(u, *r, r->z_star);
		r->r_drag = sound_horizon(u, *r, r->z_drag);
		double d_c = particle_horizon(u, *r, 0) - particle_horizon(u, *r, r->z_star);
		r->theta_star = 100 * r->r_star / (u.Omega_k == 0 ? d_c : expansion::transverse(u, d_c));
	}
	r->r_d = !std::isnan(u.m.r_d) ? u.m.r_d : u.m.r_d_fit ? r->r_fit : r->r_drag;
	return r;
}

} // namespace ruler
