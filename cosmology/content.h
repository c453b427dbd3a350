/*
 * What a universe holds: the parameters a run is given, the densities of
 * matter, radiation, vacuum or dark energy and curvature that follow from
 * them, and the Friedmann sum they add up to at a scale factor, in any
 * lanes (lanes.h).  The order of its operations fixes printed digits.
 */
#pragma once

#include "lanes.h"

namespace expansion {

/* What a run is asked for. */
struct Model {
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	double radiation = 4.165e-5; /* Omega_r h^2, h = H0/100 */
	double w0 = -1, wa = 0;	     /* dark energy: w(a) = w0 + wa (1 - a) */
	bool exact = false;	     /* the integrals' true values, not the midpoint rule's */
};

/* The parameters of a run, and what follows from them alone. */
struct Content {
	Model m;
	double Omega_k;		  /* 1 - (Omega_M + Lambda0): exactly 0 when they add up to 1 */
	double hubble_distance;	  /* Mpc */
	double radiation_density; /* Omega_r h^2 / (h*h), h = H0/100 */
	double hubble_time;	  /* Gyr: a megaparsec in km over a Julian gigayear in s, over H0 */
	bool evolving;		  /* whether w0, wa are not a cosmological constant's */
	double de_power, de_decay; /* the vacuum term is Lambda0 exp(de_power ln a + de_decay (1 - a)) */
};

/* The content of a run's universe. */
inline Content
content(const Model &m)
{
	Content u;
	u.m = m;
	u.Omega_k = 1 - (m.Omega_M + m.Lambda0);
	u.hubble_distance = 299792.458 / m.H0;
	/* R / 1e-4 is exactly 0.4165 for the default R. */
	u.radiation_density = ((m.radiation / 1e-4 / m.H0) / m.H0);
	u.hubble_time = (3.0856775814913673e19 / 3.15576e16) / m.H0;
	u.evolving = m.w0 != -1 || m.wa != 0;
	u.de_power = 2 - 3 * (1 + m.w0 + m.wa);
	u.de_decay = -3 * m.wa;
	return u;
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
friedmann(const T &a, const Content &u, T &r)
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
friedmann(const T &a, const Content &u, T &r)
{
	if (u.evolving)
		friedmann<true>(a, u, r);
	else
		friedmann<false>(a, u, r);
}

} // namespace expansion
