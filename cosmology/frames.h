/*
 * The frames of a redshift, as a supernova catalog holds them: the one
 * observed from the Sun (heliocentric), the one in the frame where the
 * microwave background has no dipole (the Sun's motion taken out), and
 * the cosmological one (a peculiar velocity taken out too).  The shifts
 * multiply, never add:
 *
 *   1 + z_cmb = (1 + z_hel) / (gamma (1 - beta cos theta))
 *   1 + z_cos = (1 + z_cmb) / (1 + z_pec),  1 + z_pec = sqrt((1 + v/c) / (1 - v/c))
 *
 * theta the angle, as observed, between the object and the Sun's motion,
 * beta that motion over c.  The distances of an object are those of its
 * cosmological redshift, seen at its observed one:
 * d_L = (1 + z_hel) d_M(z_cos), d_A = d_M(z_cos) / (1 + z_hel).
 */
#pragma once

#include <cmath>

#include "content.h"
#include "expansion.h"

namespace frames {

/* The Sun's motion against the microwave background: Planck 2018 results
 * I (A&A 641, A1, 2020), the solar dipole: 369.82 km/s toward galactic
 * l = 264.021 deg, b = 48.253 deg. */
const double sun_km_s = 369.82, sun_l = 264.021, sun_b = 48.253;

/*
 * ICRS to galactic coordinates, r_gal = A r_icrs: the Hipparcos
 * catalogue's matrix A_G' (ESA 1997, vol. 1, section 1.5.3, eq. 1.5.11),
 * its elements computed to 17 digits from the angles that define it (the
 * galactic pole at RA 192.85948 deg, Dec 27.12825 deg, the node at
 * l = 32.93192 deg), which the catalogue prints to 10.
 */
const double icrs_to_galactic[3][3] = {
	{-0.054875560416215368, -0.87343709023488505, -0.48383501554871323},
	{0.49410942787558367, -0.44482962996001118, 0.74698224449721889},
	{-0.8676661490190047, -0.19807637343120153, 0.45598377617506692},
};

/* The Taylor series of sin x / x and cos x in x^2, highest power first:
 * (-1)^j/(2j+1)! and (-1)^j/(2j)!. */
const double sine_series[] = {
	-1 / 1307674368000., 1 / 6227020800., -1 / 39916800., 1 / 362880., -1 / 5040., 1 / 120., -1 / 6., 1,
};
const double cosine_series[] = {
	1 / 20922789888000., -1 / 87178291200., 1 / 479001600., -1 / 3628800., 1 / 40320., -1 / 720., 1 / 24., -1 / 2., 1,
};

/*
 * The sine and cosine of a finite angle in degrees, the kit's own, of the
 * same bits on every machine and within 2.2e-16 of the true ones: the angle
 * less its nearest multiple of 90 degrees (exact, by Sterbenz's lemma),
 * r within 45 degrees, then the series in x = r pi/180, |x| <= pi/4, to
 * x^15 and x^16, whose first terms left out are below 5e-17.
 */
inline void
sine_cosine(double degrees, double &sine, double &cosine)
{
	if (std::fabs(degrees) > 1e15)
		degrees = std::fmod(degrees, 360);
	/* The nearest multiple, by a cast that truncates: one instruction. */
	double q = degrees * (1 / 90.);
	long long k = static_cast<long long>(q + (q < 0 ? -0.5 : 0.5));
	double x = (degrees - 90 * static_cast<double>(k)) * (M_PI / 180), x2 = x * x, s = 0, c = 0;
	for (double a : sine_series)
		s = s * x2 + a;
	for (double a : cosine_series)
		c = c * x2 + a;
	s *= x;
	switch (k & 3) {
	case 0:
		sine = s, cosine = c;
		break;
	case 1:
		sine = c, cosine = -s;
		break;
	case 2:
		sine = -s, cosine = -c;
		break;
	default:
		sine = -c, cosine = s;
	}
}

/* The unit vector toward longitude lon and latitude lat, in degrees. */
inline void
toward(double lon, double lat, double v[3])
{
	double sin_lon, cos_lon, sin_lat, cos_lat;
	sine_cosine(lon, sin_lon, cos_lon);
	sine_cosine(lat, sin_lat, cos_lat);
	v[0] = cos_lat * cos_lon;
	v[1] = cos_lat * sin_lon;
	v[2] = sin_lat;
}

/* The Sun's motion: its direction in ICRS, beta = v/c, and 1/gamma =
 * sqrt(1 - beta^2). */
struct Motion {
	double toward[3];
	double beta, contraction;
};

inline Motion
sun()
{
	Motion m;
	double g[3];
	frames::toward(sun_l, sun_b, g);
	for (int i = 0; i < 3; i++)
		m.toward[i] = icrs_to_galactic[0][i] * g[0] + icrs_to_galactic[1][i] * g[1] + icrs_to_galactic[2][i] * g[2];
	m.beta = sun_km_s / expansion::c_km_s;
	m.contraction = std::sqrt(1 - m.beta * m.beta);
	return m;
}

/* Whether RA ra and Dec dec, in degrees, are a place on the sky. */
inline bool
on_sky(double ra, double dec)
{
	return std::isfinite(ra) && std::fabs(dec) <= 90;
}

/* z_cmb of an object at ICRS ra, dec (degrees) observed at z_hel; nan off
 * the sky. */
inline double
cmb(const Motion &sun, double z_hel, double ra, double dec)
{
	if (!on_sky(ra, dec))
		return NAN;
	double n[3];
	toward(ra, dec, n);
	double cosine = n[0] * sun.toward[0] + n[1] * sun.toward[1] + n[2] * sun.toward[2];
	return (1 + z_hel) * sun.contraction / (1 - sun.beta * cosine) - 1;
}

/* Whether v km/s is a speed below c's. */
inline bool
below_c(double v)
{
	return std::fabs(v) < expansion::c_km_s;
}

/* z_cos of an object at z_cmb moving away at v km/s along the line of
 * sight; nan where |v| is c or more. */
inline double
cosmological(double z_cmb, double v)
{
	const double c = expansion::c_km_s;
	return below_c(v) ? (1 + z_cmb) / std::sqrt((c + v) / (c - v)) - 1 : NAN;
}

/* Whether an object can be seen at the observed redshift: 1 + z above 0
 * (or nan, which gives nan). */
inline bool
visible(double observed)
{
	return !(1 + observed <= 0);
}

/* What a run reads beside each redshift: an observed redshift apart from
 * it (-zhel), a position that makes it heliocentric (-ra, -dec), a
 * peculiar velocity (-vpec). */
struct Asked {
	bool observed = false, position = false, velocity = false;
	bool any() const
	{
		return observed || position || velocity;
	}
};

/* A row's redshifts: the one observed, z_cmb and z_cos; framed false where
 * its position, velocity or observed redshift is none (z_cos then nan):
 * off the sky, at c or faster, at 1 + z of 0 or less. */
struct Redshifts {
	double observed, cmb, cosmological;
	bool framed;
};

/*
 * The redshifts of a row whose redshift is z: with a position it is
 * heliocentric, the observed one, and gives z_cmb; without, it is z_cmb,
 * and the observed one is second with -zhel, else z itself.  A velocity
 * then takes z_cmb to z_cos.
 */
inline Redshifts
of(const Motion &sun, const Asked &a, double z, double second, double ra, double dec, double v)
{
	Redshifts r;
	r.observed = a.observed ? second : z;
	r.cmb = a.position ? cmb(sun, z, ra, dec) : z;
	r.cosmological = a.velocity ? cosmological(r.cmb, v) : r.cmb;
	r.framed = visible(r.observed) && (!a.position || on_sky(ra, dec)) && (!a.velocity || below_c(v));
	/* Nothing is seen without an observed redshift: an empty one too. */
	if (!r.framed || std::isnan(r.observed))
		r.cosmological = NAN;
	return r;
}

/* The depth d of a cosmological redshift as seen at the observed one: its
 * luminosity and angular diameter distances (and what follows from them)
 * from d_M and 1 + observed; nan where that is not above 0. */
inline expansion::Depth
seen(expansion::Depth d, double observed)
{
	bool some = visible(observed);
	d.d_L = some ? (1 + observed) * d.d_M : NAN;
	d.d_A = some ? d.d_M / (1 + observed) : NAN;
	return d;
}

} // namespace frames
