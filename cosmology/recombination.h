/*
 * The thermal history of a universe's baryons: the free electrons per
 * hydrogen nucleus, x_e, and the temperature of the matter, T_m, from
 * the big bang to now, in the model the standard Boltzmann codes take by
 * default (Seager, Sasselov & Scott 1999, 2000, with the corrections of
 * Wong, Moss & Scott 2008):
 *
 *	hydrogen	the effective three-level atom (Peebles 1968): case-B
 *			recombination at the rate of Pequignot, Petitjean &
 *			Boisson (1991), the 2s two-photon decay and the
 *			Lyman alpha escape, times the fudge factor 1.125 and a
 *			double Gaussian in ln(1 + z);
 *	helium		He++ and He+ in Saha equilibrium above z = 3500, then
 *			He+ recombining through its singlet (Sobolev escape,
 *			with hydrogen's continuum opacity, Kholupenko, Ivanchik
 *			& Varshalovich 2007) and triplet (Switzer & Hirata
 *			2008) channels;
 *	matter		Compton-coupled to the photons: T_m = T_r while the
 *			coupling is tight, then its own equation.
 *
 * Each species follows Saha equilibrium while it is more than 99% ionized,
 * and the rate equations after: here the rates and d/dz of (x_H, x_He,
 * T_m); history.h solves them.  Every exponential and logarithm is the
 * kit's own (lanes.h), so that the history has the same bits on every
 * machine.
 */
#pragma once

#include <algorithm>
#include <cmath>

#include "expansion.h"

namespace recombination {

/* Physical constants: CODATA 2018 (c, h and k_B are exact and named in
 * content.h). */
const double m_e = 9.1093837015e-31;	   /* the electron's mass, kg */
const double sigma_T = 6.6524587321e-29;   /* the Thomson cross section, m^2 */
const double u_kg = 1.66053906660e-27;	   /* the atomic mass unit, kg */
const double m_H = 1.00782503223 * u_kg;   /* the hydrogen atom's mass (AME 2016) */
const double He_per_H = 4.00260325413 / 1.00782503223; /* the helium-4 atom's mass over it */

/* Hydrogen and helium: levels in wave numbers, m^-1, and rates, s^-1. */
const double L_H_ion = 1.096787737e7;	   /* H ionization (Seager, Sasselov & Scott 1999) */
const double L_H_alpha = 8.225916453e6;	   /* H Lyman alpha, averaged over 2p's two levels */
const double L_He1_ion = 1.98310772e7;	   /* He+ ionization (Drake 1993) */
const double L_He2_ion = 4.389088863e7;	   /* He++ ionization */
const double L_He_2s = 1.66277434e7;	   /* He 2s singlet (Drake 1993) */
const double L_He_2p = 1.71134891e7;	   /* He 2p singlet (Drake 1993) */
const double L_He_2Pt = 1.690871466e7;	   /* He 2p triplet (Drake & Morton 2007) */
const double L_He_2St = 1.5985597526e7;	   /* He 2s triplet (Drake & Morton 2007) */
const double L_He2St_ion = 3.8454693845e6; /* He 2s triplet's ionization (Drake & Morton 2007) */
const double Lambda_H = 8.2245809;	   /* H 2s two-photon decay (Goldman 1989) */
const double Lambda_He = 51.3;		   /* He 2s two-photon decay (Dalgarno 1966) */
const double A2P_s = 1.798287e9;	   /* He 2p singlet decay (Morton, Wu & Drake 2006) */
const double A2P_t = 177.58;		   /* He 2p triplet decay (Lach & Pachucki 2001) */
const double sigma_He_2Ps = 1.436289e-22;  /* H continuum cross section at He 2p singlet, m^2 */
const double sigma_He_2Pt = 1.484872e-22;  /* and at the triplet (Hummer & Storey 1998) */

/* Fits and fudges, as the model has them. */
const double a_PPB = 4.309, b_PPB = -0.6166, c_PPB = 0.6703, d_PPB = 0.5300; /* H case B */
const double a_VF = 1.80301774085957e-17, b_VF = 0.711; /* He singlet: 10^-16.744 (Hummer & Storey 1998) */
const double T_0 = 2.999998240459423, T_1 = 130016.95780332899; /* 10^0.477121, 10^5.114, K */
const double a_trip = 4.9431068698683435e-17, b_trip = 0.761; /* He triplet: 10^-16.306 */
const double fudge_H = 1.125, fudge_He = 0.86;
const double A_gauss[2] = {-0.14, 0.079}, z_gauss[2] = {7.28, 6.73}, w_gauss[2] = {0.18, 0.33};
const double H_frac = 1e-3; /* the Thomson time's share of the Hubble time below which T_m = T_r */

inline double
e_to(double x)
{
	double y;
	expansion::expo(x, y);
	return y;
}

inline double
log_of(double x)
{
	double y;
	expansion::ln(x, y);
	return y;
}

inline double
power(double x, double b)
{
	return e_to(b * log_of(x));
}

/* What a universe's history is computed from: its baryons, the densities
 * and temperatures they give, and the constants the rates are made of. */
struct Gas {
	const expansion::Universe *u;
	double fHe;	/* helium nuclei per hydrogen nucleus */
	double n_H0;	/* hydrogen nuclei today, m^-3 */
	double T0;	/* the photons' temperature today, K */
	double H0;	/* s^-1 */
	double Omega_r, Omega_M, Omega_k; /* for dH/dz, as the model writes it */
	double CR, ln_CR, CB1, CB1_He1, CB1_He2, CDB, CDB_He, CL, CL_He, CK, CK_He, CT, Bfact, CL_PSt, C_2St_ion, C_2St;
};

inline Gas
gas_of(const expansion::Universe &u)
{
	using namespace expansion;
	const double c = c_m_s, hc_k = h_planck * c / k_B, pi = neutrinos::pi;
	Gas g;
	g.u = &u;
	g.fHe = u.m.Y_He / (He_per_H * (1 - u.m.Y_He));
	g.H0 = u.m.H0 / mpc_km;
	g.n_H0 = 3 * g.H0 * g.H0 * u.m.Omega_b * (1 - u.m.Y_He) / (8 * pi * G_si * m_H);
	g.T0 = u.m.tcmb;
	g.CR = 2 * pi * (m_e / h_planck) * (k_B / h_planck);
	g.ln_CR = log_of(g.CR);
	double early = u.radiation_density;
	for (const Species &s : u.species)
		early += u.nu_weight * s.count; /* relativistic then */
	g.Omega_r = early, g.Omega_M = u.m.Omega_M, g.Omega_k = u.Omega_k;
	g.CB1 = hc_k * L_H_ion, g.CB1_He1 = hc_k * L_He1_ion, g.CB1_He2 = hc_k * L_He2_ion;
	g.CDB = hc_k * (L_H_ion - L_H_alpha), g.CDB_He = hc_k * (L_He1_ion - L_He_2s);
	g.CL = hc_k * L_H_alpha, g.CL_He = hc_k * L_He_2s;
	g.CK = 1 / (L_H_alpha * L_H_alpha * L_H_alpha) / (8 * pi);
	g.CK_He = 1 / (L_He_2p * L_He_2p * L_He_2p) / (8 * pi);
	g.CT = 8.0 / 3 * (sigma_T / (m_e * c)) * (4 * sigma_sb / c);
	g.Bfact = hc_k * (L_He_2p - L_He_2s);
	g.CL_PSt = hc_k * (L_He_2Pt - L_He_2St);
	g.C_2St_ion = hc_k * L_He2St_ion, g.C_2St = hc_k * L_He_2St;
	return g;
}

/* H at z, s^-1, from the universe's own Friedmann sum. */
inline double
hubble(const Gas &g, double z)
{
	return g.H0 * expansion::rate(z, *g.u);
}

/* The right side of Saha's equation for an ionization energy of chi_k
 * (in kelvin) at z, per hydrogen nucleus: (2 pi m_e k T/h^2)^(3/2)
 * e^(-chi/kT)/n_H. */
inline double
saha(const Gas &g, double z, double chi_k)
{
	return e_to(1.5 * log_of(g.CR * g.T0 / (1 + z)) - chi_k / (g.T0 * (1 + z))) / g.n_H0;
}

/* Hydrogen in Saha equilibrium, its electrons alone: x^2/(1 - x) = rhs,
 * x_H and its neutral share 1 - x_H = x_H^2/rhs, each without the
 * cancellation of a difference of nearly equal numbers (the neutral share
 * is 1e-7 where helium's rates first depend on it). */
inline double
saha_H(const Gas &g, double z, double *neutral = nullptr)
{
	double rhs = saha(g, z, g.CB1), x = 2 / (1 + std::sqrt(1 + 4 / rhs));
	if (neutral)
		*neutral = x * x / rhs;
	return x;
}

/* He+ in Saha equilibrium with neutral helium, hydrogen ionized: x_He. */
inline double
saha_He(const Gas &g, double z)
{
	double rhs = 4 * saha(g, z, g.CB1_He1);
	double x = 0.5 * (std::sqrt((rhs - 1) * (rhs - 1) + 4 * (1 + g.fHe) * rhs) - (rhs - 1));
	return (x - 1) / g.fHe;
}

/* x_e above the rate equations: everything ionized above z = 8000, He++
 * recombining in Saha equilibrium down to 5000, He+ alone down to 3500,
 * then He+ recombining in Saha equilibrium. */
inline double
x_saha(const Gas &g, double z)
{
	if (z >= 8000)
		return 1 + 2 * g.fHe;
	if (z >= 5000) {
		double rhs = saha(g, z, g.CB1_He2);
		return 0.5 * (std::sqrt((rhs - 1 - g.fHe) * (rhs - 1 - g.fHe) + 4 * (1 + 2 * g.fHe) * rhs) - (rhs - 1 - g.fHe));
	}
	if (z >= 3500)
		return 1 + g.fHe;
	return 1 + g.fHe * saha_He(g, z);
}

/* The state of the rate equations: x_H, x_He and T_m. */
struct State {
	double y[3];
};

/* How far the rate equations go: He+ alone (hydrogen in Saha equilibrium),
 * or both. */
enum Phase { helium, both };

/* What the rates take from z alone, computed once for all the slopes a
 * step takes there: H, the densities of the nuclei, and hydrogen's Saha
 * equilibrium in the helium phase, Lyman alpha's escape after it (Peebles'
 * K, with its double Gaussian in ln(1 + z) at the temperature's redshift
 * for 2.7255 K). */
struct At {
	double z, Hz, n, n_He, K_H;
	double x_H, neutral; /* hydrogen's ionized and neutral shares there */
};

inline At
at(const Gas &g, Phase phase, double z)
{
	At a;
	double zz = 1 + z;
	a.z = z, a.Hz = hubble(g, z);
	a.n = g.n_H0 * zz * zz * zz, a.n_He = g.fHe * a.n;
	a.K_H = a.x_H = a.neutral = NAN;
	if (phase == helium) {
		a.x_H = saha_H(g, z, &a.neutral);
	} else {
		double lz = log_of(g.T0 / 2.7255 * zz), u0 = (lz - z_gauss[0]) / w_gauss[0], u1 = (lz - z_gauss[1]) / w_gauss[1];
		a.K_H = g.CK / a.Hz * (1 + A_gauss[0] * e_to(-u0 * u0) + A_gauss[1] * e_to(-u1 * u1));
	}
	return a;
}

/* The model's switches, which its rates take from the state: hydrogen's
 * rate without Peebles' factor close to equilibrium (x_H above 0.985);
 * helium's channels, none once it is all but neutral, the singlet alone
 * near the ends of its recombination (where the Sobolev escape switches
 * to Peebles' form), else the singlet and the triplet; hydrogen's
 * continuum opacity in the singlet's line where its neutral share is
 * above 1e-7, in the triplet's above 1e-5; and the matter's temperature
 * tied to the photons' where the Thomson time is below H_frac of the
 * Hubble time.  The slopes' derivatives keep a state's switches, so that
 * a difference never straddles one. */
struct Mode {
	bool close;
	int channels;
	bool opaque_singlet, opaque_triplet, tight;
};

inline Mode
mode_of(const Gas &g, Phase phase, const At &a, const State &s)
{
	Mode m;
	double x_H = phase == both ? s.y[0] : a.x_H, neutral = phase == both ? 1 - s.y[0] : a.neutral, x_He = s.y[1];
	double x = x_H + g.fHe * x_He, zz = 1 + a.z, Tr = g.T0 * zz, Tr4 = (Tr * Tr) * (Tr * Tr);
	m.close = x_H > 0.985;
	m.channels = x_He < 1e-15 ? 0 : x_He < 5e-9 || x_He > 0.98 ? 1 : 2;
	m.opaque_singlet = neutral > 1e-7, m.opaque_triplet = !(neutral < 1e-5);
	double thomson = 1 / (g.CT * Tr4) * (1 + x + g.fHe) / x, hubble_time = 2 / (3 * g.H0 * std::sqrt(zz * zz * zz));
	m.tight = thomson < H_frac * hubble_time;
	return m;
}

/* What the rates take from the matter's temperature: for hydrogen and
 * the channels of helium's that are open, recombination to the excited
 * states (case B) and photo-ionization from them, and the Boltzmann
 * factors of the lines; the thermal speed of helium atoms over c, for the
 * lines' widths; and the parts of them their derivatives are made of. */
struct Rates {
	double Tm;
	double H_down, H_up, H_lya;
	double He_down, He_up, He_boltz, He_lya, thermal;
	double t_down, t_up, t_2P, t_2S;
	double q, s0, s1; /* c_PPB (T_m/1e4)^d_PPB, sqrt(T_m/T_0), sqrt(T_m/T_1) */
};

inline Rates
rates(const Gas &g, double Tm, int channels)
{
	Rates r;
	r.Tm = Tm;
	double ln_Tm = log_of(Tm), ln_CRT = 1.5 * (g.ln_CR + ln_Tm);
	double ln_t = ln_Tm - 9.2103403719761836; /* ln(T_m/1e4) */
	r.q = c_PPB * e_to(d_PPB * ln_t);
	r.H_down = 1e-19 * a_PPB * e_to(b_PPB * ln_t) / (1 + r.q);
	r.H_up = r.H_down * e_to(ln_CRT - g.CDB / Tm);
	r.H_lya = e_to(-g.CL / Tm);
	if (channels == 0)
		return r;
	const double c = expansion::c_m_s;
	double s0 = std::sqrt(Tm / T_0), s1 = std::sqrt(Tm / T_1), L0 = log_of(1 + s0), L1 = log_of(1 + s1);
	r.s0 = s0, r.s1 = s1;
	r.He_down = a_VF / (s0 * e_to((1 - b_VF) * L0 + (1 + b_VF) * L1));
	r.He_up = 4 * r.He_down * e_to(ln_CRT - g.CDB_He / Tm);
	r.He_boltz = e_to(std::min(g.Bfact / Tm, 680.0));
	r.He_lya = e_to(-g.CL_He / Tm);
	r.thermal = std::sqrt(2 * expansion::k_B * Tm / (m_H * He_per_H * c * c));
	if (channels == 1)
		return r;
	r.t_down = a_trip / (s0 * e_to((1 - b_trip) * L0 + (1 + b_trip) * L1));
	r.t_up = r.t_down * e_to(ln_CRT - g.C_2St_ion / Tm) * (4.0 / 3);
	r.t_2P = e_to(-g.CL_PSt / Tm);
	r.t_2S = e_to(-g.C_2St / Tm);
	return r;
}

/* The rates at T_m + dT, to first order from their logarithmic
 * derivatives: for the Jacobian's column in T_m, without the cost of
 * computing them anew. */
inline Rates
warmer(const Gas &g, const Rates &r, double dT, int channels)
{
	Rates w = r;
	double T = r.Tm, f = dT / T;
	w.Tm = T + dT;
	double down = b_PPB - d_PPB * r.q / (1 + r.q); /* d ln/d ln T_m */
	w.H_down = r.H_down * (1 + f * down);
	w.H_up = r.H_up * (1 + f * (down + 1.5 + g.CDB / T));
	w.H_lya = r.H_lya * (1 + f * (g.CL / T));
	if (channels == 0)
		return w;
	double p0 = r.s0 / (1 + r.s0) / 2, p1 = r.s1 / (1 + r.s1) / 2;
	down = -0.5 - (1 - b_VF) * p0 - (1 + b_VF) * p1;
	w.He_down = r.He_down * (1 + f * down);
	w.He_up = r.He_up * (1 + f * (down + 1.5 + g.CDB_He / T));
	w.He_boltz = g.Bfact / T < 680.0 ? r.He_boltz * (1 - f * (g.Bfact / T)) : r.He_boltz;
	w.He_lya = r.He_lya * (1 + f * (g.CL_He / T));
	w.thermal = r.thermal * (1 + f / 2);
	if (channels == 1)
		return w;
	down = -0.5 - (1 - b_trip) * p0 - (1 + b_trip) * p1;
	w.t_down = r.t_down * (1 + f * down);
	w.t_up = r.t_up * (1 + f * (down + 1.5 + g.C_2St_ion / T));
	w.t_2P = r.t_2P * (1 + f * (g.CL_PSt / T));
	w.t_2S = r.t_2S * (1 + f * (g.C_2St / T));
	return w;
}

/* Hydrogen's rate, dx_H/dz, once it has left Saha equilibrium (x_H
 * 0.99): the full rate, case B recombination against photo-ionization
 * from n = 2, slowed by the share of the atoms in n = 2 that reach the
 * ground state (Peebles' C); above x_H = 0.985, the rate without that
 * factor, which pulls x_H back to equilibrium where a step overshoots
 * it. */
inline double
rate_H(const At &a, const Mode &m, const Rates &r, double x_H, double x)
{
	double net = x * x_H * a.n * r.H_down - r.H_up * (1 - x_H) * r.H_lya;
	if (m.close)
		return net / (a.Hz * (1 + a.z));
	double K = a.K_H;
	return net * (1 + K * Lambda_H * a.n * (1 - x_H)) /
	       (a.Hz * (1 + a.z) * (1 / fudge_H + K * Lambda_H * a.n * (1 - x_H) / fudge_H + K * r.H_up * a.n * (1 - x_H)));
}

/* Hydrogen's continuum opacity at a helium line of wave number L, decay
 * rate A and cross section sigma: the line's optical depth in it, gamma
 * (Kholupenko, Ivanchik & Varshalovich 2007). */
inline double
continuum(const Gas &g, const Rates &r, double neutral, double x_He, double L, double A, double sigma)
{
	const double c = expansion::c_m_s, pi = expansion::neutrinos::pi;
	double doppler = c * L * r.thermal;
	return 3 * A * g.fHe * (1 - x_He) * c * c / (std::sqrt(pi) * sigma * 8 * pi * doppler * neutral) / ((c * L) * (c * L));
}

/* Helium's rate, dx_He/dz: the singlet channel, with the Sobolev escape of
 * its 2p photons (Peebles' form far from the switch), helped by hydrogen's
 * continuum opacity where hydrogen's neutral share is above 1e-7; and the
 * triplet channel (Switzer & Hirata 2008), with that opacity above 1e-5. */
inline double
rate_He(const Gas &g, const At &a, const Mode &m, const Rates &r, double neutral, double x_He, double x)
{
	if (m.channels == 0)
		return 0;
	const double pi = expansion::neutrinos::pi;
	double K = g.CK_He / a.Hz, reach = 3 * a.n_He * (1 - x_He);
	if (m.channels == 2) {
		double tau = A2P_s * g.CK_He * reach / a.Hz, escape = A2P_s * (1 - e_to(-tau)) / tau;
		if (m.opaque_singlet)
			escape += A2P_s / (1 + 0.36 * e_to(fudge_He * log_of(continuum(g, r, neutral, x_He, L_He_2p, A2P_s, sigma_He_2Ps))));
		K = 1 / (escape * reach);
	}
	double f = (x * x_He * a.n * r.He_down - r.He_up * (1 - x_He) * r.He_lya) *
		   (1 + K * Lambda_He * a.n_He * (1 - x_He) * r.He_boltz) /
		   (a.Hz * (1 + a.z) * (1 + K * (Lambda_He + r.He_up) * a.n_He * (1 - x_He) * r.He_boltz));
	if (m.channels == 1)
		return f;
	double tau = A2P_t * reach / (8 * pi * a.Hz * L_He_2Pt * L_He_2Pt * L_He_2Pt);
	double A = A2P_t * (1 - e_to(-tau)) / tau;
	if (m.opaque_triplet)
		A += A2P_t / (1 + 0.66 * e_to(0.9 * log_of(continuum(g, r, neutral, x_He, L_He_2Pt, A2P_t, sigma_He_2Pt)))) / 3;
	double C_t = A * r.t_2P;
	C_t = r.t_up + C_t > 0 ? C_t / (r.t_up + C_t) : 1; /* in a cold gas both underflow, the ionization first */
	return f + (x * x_He * a.n * r.t_down - (1 - x_He) * 3 * r.t_up * r.t_2S) * C_t / (a.Hz * (1 + a.z));
}

/* d/dz of the state s at a, in mode m with the rates r of its
 * temperature: in the helium phase x_H is Saha's, not integrated; T_m
 * follows T_r while it is tight (with the correction that smooths the
 * hand-over, dH/dz from matter, radiation and curvature as the model
 * writes it), else its own equation. */
inline void
slopes(const Gas &g, Phase phase, const At &a, const Mode &m, const Rates &r, const State &s, State &d)
{
	double neutral = phase == both ? 1 - s.y[0] : a.neutral;
	double x_H = phase == both ? s.y[0] : a.x_H, x_He = s.y[1];
	double x = x_H + g.fHe * x_He, zz = 1 + a.z, Tr = g.T0 * zz;
	d.y[0] = phase == both ? rate_H(a, m, r, x_H, x) : 0;
	d.y[1] = rate_He(g, a, m, r, neutral, x_He, x);
	double Tr4 = (Tr * Tr) * (Tr * Tr);
	if (m.tight) {
		double dHdz = g.H0 * g.H0 / (2 * a.Hz) * (4 * zz * zz * zz * g.Omega_r + 3 * zz * zz * g.Omega_M + 2 * zz * g.Omega_k);
		double eps = a.Hz * (1 + x + g.fHe) / (g.CT * (Tr4 / Tr) * x);
		d.y[2] = g.T0 + eps * ((1 + g.fHe) / (1 + g.fHe + x)) * ((d.y[0] + g.fHe * d.y[1]) / x) - eps * dHdz / a.Hz +
			 3 * eps / zz;
	} else {
		d.y[2] = g.CT * Tr4 * x / (1 + x + g.fHe) * (r.Tm - Tr) / (a.Hz * zz) + 2 * r.Tm / zz;
	}
}

/* A state with its slopes, and what they were computed from. */
struct Point {
	At a;
	Mode m;
	Rates r;
	State s, d;
};

inline Point
point(const Gas &g, Phase phase, const At &a, const State &s)
{
	Point p;
	p.a = a, p.s = s, p.m = mode_of(g, phase, a, s);
	p.r = rates(g, s.y[2], p.m.channels);
	slopes(g, phase, a, p.m, p.r, s, p.d);
	return p;
}

} // namespace recombination
