/*
 * What a universe holds: the parameters a run is given, the densities of
 * matter, radiation, vacuum or dark energy and curvature that follow from
 * them, and the Friedmann sum they add up to at a scale factor, in any
 * lanes (lanes.h).  The order of its operations fixes printed digits.
 */
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "lanes.h"
#include "neutrinos.h"

namespace expansion {

/* Physical constants, named once. */
const double c_km_s = 299792.458;	       /* the speed of light, km/s, exact */
const double mpc_km = 3.0856775814913673e19;   /* a megaparsec in km: IAU 2015's parsec */
const double c_m_s = c_km_s * 1e3, mpc_m = mpc_km * 1e3; /* the same in m */
const double gyr_s = 3.15576e16;	       /* a Julian gigayear in s, IAU */
const double k_B = 1.380649e-23;	       /* Boltzmann, J/K, exact in CODATA 2018 */
const double h_planck = 6.62607015e-34;	       /* Planck, J s, exact in CODATA 2018 */
const double e_charge = 1.602176634e-19;       /* the elementary charge, C, exact in CODATA 2018 */
const double G_si = 6.67430e-11;	       /* Newton's G, m^3 kg^-1 s^-2, CODATA 2018 */
const double GM_sun = 1.3271244e20;	       /* G times the Sun's mass, m^3 s^-2, IAU 2015 */
const double k_B_eV = k_B / e_charge;	       /* Boltzmann, eV/K */
/* Stefan-Boltzmann, W m^-2 K^-4: exact in CODATA 2018, 5.670374419...e-8,
 * 2 pi^5 k^4 / (15 h^3 c^2), here to the double's last digit. */
const double sigma_sb = 2 * (neutrinos::pi * neutrinos::pi) * (neutrinos::pi * neutrinos::pi) * neutrinos::pi *
			((k_B * k_B) * (k_B * k_B)) / (15 * (h_planck * h_planck * h_planck) * (299792458.0 * 299792458.0));
const double t_nu_ratio = 0.7137658555036082;  /* (4/11)^(1/3): T_nu over T_cmb */
/* A neutrino species' density over the photons' while relativistic,
 * 7/8 (4/11)^(4/3). */
const double nu_per_photon = 0.875 * (4.0 / 11) * t_nu_ratio;

/* Omega_gamma h^2 of photons at temperature T (K): their mass density
 * 4 sigma T^4 / c^3 over the critical density at H0 = 100 km/s/Mpc,
 * 3 H^2 / (8 pi G). */
inline double
photon_density(double T)
{
	const double c = c_m_s, H100 = 100 / mpc_km;
	return 4 * sigma_sb * (T * T) * (T * T) / (c * c * c) / (3 * H100 * H100 / (8 * neutrinos::pi * G_si));
}

/* What a run is asked for. */
struct Model {
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	double radiation = 4.165e-5; /* Omega_r h^2, h = H0/100 */
	double w0 = -1, wa = 0;	     /* dark energy: w(a) = w0 + wa (1 - a) */
	bool exact = false;	     /* the integrals' true values, not the midpoint rule's */
	double tcmb = -1;	     /* the CMB temperature today, K; below 0 none is given, and
				      * radiation is the one above, on top of the budget */
	double neff = 3.046;	     /* the effective number of neutrino species */
	std::vector<double> masses;  /* eV: one for every species, or each species' own; none: all massless */
	bool fit = false;	     /* massive neutrinos by the fitting function, not exactly */
	bool flat = false;	     /* the vacuum closes the budget: Lambda0 is what makes Omega_k 0 */
	double sigma8 = NAN;	     /* the amplitude of fluctuations today, for f sigma8; nan: none */
	double Omega_b = NAN;	     /* baryons today, a part of Omega_M; nan: none given */
	/* Helium's share of the baryons' mass: the BBN value for Planck 2018's
	 * baryon density (Planck 2018 results VI, section 7.6). */
	double Y_He = 0.2454;
	double r_d = NAN;	     /* the sound horizon at the drag epoch, Mpc, given; nan: the kit's */
	bool r_d_fit = false;	     /* r_d by the fitting formula of Aubourg et al. 2015, eq. 16 */
};

/* The kinds of Friedmann sum: bits of Content::kind. */
enum { evolving_kind = 1, massive_kind = 2 };

/* A massive neutrino species, or several of one mass. */
struct Species {
	double y0;	/* m / (k_B T_nu0): y today */
	double count;
};

/* The parameters of a run, and what follows from them alone. */
struct Content {
	Model m;		  /* Lambda0 the closed one where the vacuum closes the budget */
	double Omega_k;		  /* 1 - (Omega_M + Lambda0) and, where radiation counts, minus it:
				   * exactly 0 when they add up to 1 */
	double hubble_distance;	  /* Mpc */
	double radiation_density; /* Omega_r h^2 / (h*h), h = H0/100: photons and massless neutrinos */
	double hubble_time;	  /* Gyr: a megaparsec in km over a Julian gigayear in s, over H0 */
	bool evolving;		  /* whether w0, wa are not a cosmological constant's */
	double de_power, de_decay; /* the vacuum term is Lambda0 exp(de_power ln a + de_decay (1 - a)) */
	int kind;		  /* evolving_kind, massive_kind or both */
	double photons, neutrinos; /* with a temperature, Omega_gamma and Omega_nu today */
	double nu_weight;	  /* a massive species' density at y = 0 over a^-4 */
	std::vector<Species> species; /* the massive neutrinos */
	const neutrinos::Table *nu_table; /* their exact densities, or null for the fit */
};

template <bool massive, typename T> inline void massive_neutrinos(const T &a, const Content &u, T &n);

/* The content of a run's universe.  With a temperature, photons and
 * neutrinos follow from it, and count in the budget
 * Omega_M + Lambda0 + Omega_gamma + Omega_nu + Omega_k = 1, as they do
 * where the vacuum closes it; otherwise radiation is -radiation's, on top of
 * Omega_M + Lambda0 + Omega_k = 1. */
inline Content
content(const Model &m)
{
	Content u;
	u.m = m;
	u.Omega_k = 1 - (m.Omega_M + m.Lambda0);
	u.hubble_distance = c_km_s / m.H0;
	/* R / 1e-4 is exactly 0.4165 for the default R. */
	u.radiation_density = ((m.radiation / 1e-4 / m.H0) / m.H0);
	u.hubble_time = (mpc_km / gyr_s) / m.H0;
	u.evolving = m.w0 != -1 || m.wa != 0;
	u.de_power = 2 - 3 * (1 + m.w0 + m.wa);
	u.de_decay = -3 * m.wa;
	u.photons = u.neutrinos = u.nu_weight = 0;
	u.nu_table = nullptr;
	if (m.tcmb >= 0) {
		double h = m.H0 / 100;
		u.photons = photon_density(m.tcmb) / (h * h);
		double n = std::floor(m.neff), per = m.neff / n, massless = n;
		double y_per_ev = 1 / (k_B_eV * (t_nu_ratio * m.tcmb));
		/* At 0 K the neutrinos hold no density, whatever their mass:
		 * their number goes as T^3. */
		for (std::size_t k = 0; k < m.masses.size() && m.tcmb > 0; k++) {
			double count = m.masses.size() == 1 ? n : 1;
			if (m.masses[k] > 0)
				u.species.push_back({m.masses[k] * y_per_ev, count}), massless -= count;
		}
		double relativistic = u.species.empty() ? nu_per_photon * m.neff : nu_per_photon * per * massless;
		u.radiation_density = u.photons + u.photons * relativistic;
		u.nu_weight = u.photons * (nu_per_photon * per);
		if (!m.fit && !u.species.empty())
			u.nu_table = &neutrinos::table();
		double one = 1, today;
		massive_neutrinos<true>(one, u, today);
		u.neutrinos = u.photons * relativistic + today;
	}
	double counted = m.tcmb >= 0 ? u.photons + u.neutrinos : m.flat ? u.radiation_density : 0;
	if (m.flat) {
		u.m.Lambda0 = 1.0 - m.Omega_M - counted;
		u.Omega_k = 0;
	} else if (m.tcmb >= 0) {
		u.Omega_k = 1.0 - m.Omega_M - m.Lambda0 - u.photons - u.neutrinos;
	}
	u.kind = (u.evolving ? evolving_kind : 0) | (u.species.empty() ? 0 : massive_kind);
	return u;
}

/* n = the massive neutrinos' density over a^-4 at a: each species' weight
 * times F(y)/F(0) at y = y0 a, summed (none unless massive). */
template <bool massive, typename T>
inline void
massive_neutrinos(const T &a, const Content &u, T &n)
{
	n = T{};
	if (!massive || u.species.empty())
		return;
	for (const Species &s : u.species) {
		T y = s.y0 * a, r;
		if (u.nu_table)
			neutrinos::exact(y, *u.nu_table, r);
		else
			neutrinos::fit(y, r);
		n += s.count * r;
	}
	n = u.nu_weight * n;
}

/* a H/H0 squared: the Friedmann sum times a^2, left to right, the curvature
 * term first, so that a flat universe adds an exact 0; radiation is divided
 * by a twice, not by a squared a, and massive neutrinos likewise after it.
 * Dark energy whose equation of state evolves, w(a) = w0 + wa (1 - a),
 * scales the vacuum term Lambda0 a^2 by a^(-3 (1 + w0 + wa))
 * exp(-3 wa (1 - a)).  Vectors go by reference, not by value, for the
 * reason given at root(). */
template <int kind, typename T>
inline void
friedmann(const T &a, const Content &u, T &r)
{
	const bool evolving = kind & evolving_kind, massive = kind & massive_kind;
	T e, n;
	if (evolving) {
		ln(a, e);
		expo(u.de_power * e + u.de_decay * (1 - a), e);
	}
	if (!massive && !evolving) {
		r = u.Omega_k + u.radiation_density / a / a + u.m.Omega_M / a + u.m.Lambda0 * a * a;
	} else if (!massive) {
		r = u.Omega_k + u.radiation_density / a / a + u.m.Omega_M / a + u.m.Lambda0 * e;
	} else {
		massive_neutrinos<true>(a, u, n);
		if (!evolving)
			e = a * a;
		r = u.Omega_k + u.radiation_density / a / a + n / a / a + u.m.Omega_M / a + u.m.Lambda0 * e;
	}
}

template <typename T>
inline void
friedmann(const T &a, const Content &u, T &r)
{
	switch (u.kind) {
	case 0:
		friedmann<0>(a, u, r);
		break;
	case evolving_kind:
		friedmann<evolving_kind>(a, u, r);
		break;
	case massive_kind:
		friedmann<massive_kind>(a, u, r);
		break;
	default:
		friedmann<evolving_kind | massive_kind>(a, u, r);
	}
}

/* Why the baryons do not fit the matter they are a part of, or "". */
inline std::string
unfit_baryons(const Model &m)
{
	if (!(m.Omega_b > m.Omega_M))
		return "";
	char text[96];
	std::snprintf(text, sizeof text, "%g is more than Omega_M, %g, of which the baryons are a part", m.Omega_b,
		      m.Omega_M);
	return text;
}

/* Why the masses do not fit the species, floor(Neff) of them, or "":
 * there is one for every species, or one each. */
inline std::string
unfit_masses(const Model &m)
{
	double n = std::floor(m.neff);
	char text[96];
	if (m.masses.size() > 1 && m.masses.size() != n)
		std::snprintf(text, sizeof text, "%zu masses for %g species (Neff %g): give one for all, or one each",
			      m.masses.size(), n, m.neff);
	else if (!m.masses.empty() && n < 1)
		std::snprintf(text, sizeof text, "a mass, but no species: Neff %g is below 1", m.neff);
	else
		return "";
	return text;
}

/* The most radiation today that a closed budget takes: the term that
 * closes it (the vacuum where it does, else the curvature) cancels the
 * radiation at a = 1, where the Friedmann sum is 1, to a rounding of about
 * the radiation's last place; past 2^26 that leaves fewer than half a
 * double's digits in H near z = 0, and near 2^52 none at all. */
const double most_radiation = 0x1p26;

/* Why radiation swamps the universe's budget, or "". */
inline std::string
swamped(const Content &u)
{
	double counted = u.m.tcmb >= 0 ? u.photons + u.neutrinos : u.m.flat ? u.radiation_density : 0;
	if (!(counted > most_radiation))
		return "";
	char text[160];
	std::snprintf(text, sizeof text,
		      "radiation of %g today swamps the budget: the %s that closes it would cancel it to fewer than "
		      "half a double's digits (above %g)",
		      counted, u.m.flat ? "vacuum" : "curvature", most_radiation);
	return text;
}

} // namespace expansion
