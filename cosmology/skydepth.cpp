/*
 * skydepth - luminosity distance to a redshift in a universe with matter,
 * vacuum energy, radiation and the curvature they imply.
 */
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "expansion.h"
#include "finish.h"

typedef int ReportMode; /* -1 simple: the bare distance, 0 normal, 1 verbose */

double skydepth(double z, double H0, double Omega_M, double Lambda0, int report_level);

int
main(int argc, char *argv[])
{
	const char *ztext = "", *h0text = "", *omtext = "", *lamtext = "";
	ReportMode report = 0;

	if (argc < 2) {
		std::cout
			<< "Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]"
			<< std::endl;
		return finish("skydepth");
	}

	/* The redshift is the first argument not taking the form of an option,
	 * even when it was meant as an option's value (-h0 70 1 gives z = 70). */
	for (int i = 1; i < argc; i++)
		if (argv[i][0] != '\0' && argv[i][0] != '-') {
			ztext = argv[i];
			break;
		}

	/* Options match by prefix (-verbosely is -verbose), but -simple matches
	 * only itself.  A value starting with '-' is never taken, an empty one
	 * is, and then the default applies. */
	for (int i = 1; i < argc; i++) {
		const char *next = i + 1 < argc && argv[i + 1][0] != '-' ? argv[i + 1] : nullptr;

		if ((!strncmp(argv[i], "-h0", 3) || !strncmp(argv[i], "-hubble", 7)) && next)
			h0text = next;
		if ((!strncmp(argv[i], "-omega", 6) || !strncmp(argv[i], "-matter", 7)) && next)
			omtext = next;
		if ((!strncmp(argv[i], "-lambda", 7) || !strncmp(argv[i], "-vaccum", 7)) && next)
			lamtext = next;
		if (!strncmp(argv[i], "-verbose", 8))
			report = 1;
		if (!strcmp(argv[i], "-simple"))
			report = -1;
	}

	/* strtod rather than atof: the same values, but defined out of range. */
	double z = std::strtod(ztext, nullptr);
	double H0 = *h0text ? std::strtod(h0text, nullptr) : 73;
	double Omega_M = *omtext ? std::strtod(omtext, nullptr) : 0.27;
	double Lambda0 = *lamtext ? std::strtod(lamtext, nullptr) : 0.73;

	if (report >= 0)
		std::cout << "skydepth " << z << " H0=" << H0 << " Omega_M=" << Omega_M
			  << " Lambda0=" << Lambda0 << std::endl;
	double d_L = skydepth(z, H0, Omega_M, Lambda0, report);
	if (report >= 0)
		std::cout << "skydepth = " << d_L << " Mpc" << std::endl;
	else
		std::cout << d_L << std::endl;
	return finish("skydepth");
}

/*
 * Integrates 1/H over the scale factor with the midpoint rule, from 0 to the
 * emission and from the emission to now, and returns d_L in Mpc.  With
 * report_level > 0 it also prints the parameters, distances and times.
 */
double
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the kit's fixed interface
skydepth(double z, double H0, double Omega_M, double Lambda0, int report_level)
{
	if (z < 0)
		return 0.0;

	expansion::Universe u = expansion::universe(H0, Omega_M, Lambda0);
	double a_emit = expansion::emission(z);

	if (report_level > 0)
		std::cout << "skydepth z=" << z << " H0=" << H0 << " Omega_M=" << Omega_M
			  << " Lambda0=" << Lambda0 << " Curvaturve_k=" << u.Omega_k << " "
			  << "Radiation=4.165E-5/(h*h)" << std::endl;

	/* A square root of a negative number sets errno; the arithmetic puts it
	 * back, so that a write that failed before it is reported for what it was. */
	const int write_errno = errno;
	double age_sum, lookback_sum, comoving_sum;
	expansion::sums<true>(a_emit, u, age_sum, lookback_sum, comoving_sum);
	expansion::Depth d = expansion::depth(z, a_emit, u, age_sum, lookback_sum, comoving_sum);
	errno = write_errno;

	if (report_level > 0) {
		std::cout << "skydepth d_L=" << d.d_L << " Mpc, d_c=" << d.d_c
			  << " Mpc, d_A=" << d.d_A << " Mpc" << std::endl;
		std::cout << "skydepth t_age=" << d.t_age << " Gyr, t_lookback=" << d.t_lookback
			  << " Gyr, t_now=" << d.t_now << " Gyr" << std::endl;
	}
	return d.d_L;
}
