#include <gtest/gtest.h>

#include "run.h"

namespace {

const std::string usage = "Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]\n";
const std::string defaults = " H0=73 Omega_M=0.27 Lambda0=0.73";

/* The five lines of a verbose run, or the two of a normal one. */
std::string
verbose(const std::string &z, const std::string &params, const std::string &dist,
	const std::string &times, const std::string &d_L)
{
	return "skydepth " + z + params + "\nskydepth z=" + z + params +
	       " Curvaturve_k=0 Radiation=4.165E-5/(h*h)\nskydepth " + dist + "\nskydepth " + times +
	       "\nskydepth = " + d_L + " Mpc\n";
}
std::string
normal(const std::string &z, const std::string &params, const std::string &d_L)
{
	return "skydepth " + z + params + "\nskydepth = " + d_L + " Mpc\n";
}

const std::string z1_verbose =
	verbose("1", defaults, "d_L=6452.3 Mpc, d_c=3226.15 Mpc, d_A=1613.07 Mpc",
		"t_age=5.77232 Gyr, t_lookback=7.51857 Gyr, t_now=13.2909 Gyr", "6452.3");
const std::string z0_verbose = verbose("0", defaults, "d_L=0 Mpc, d_c=0 Mpc, d_A=0 Mpc",
				       "t_age=13.2909 Gyr, t_lookback=0 Gyr, t_now=13.2909 Gyr", "0");
const std::string z1 = normal("1", defaults, "6452.3");
const std::string z05 = normal("0.5", " H0=70 Omega_M=0.3 Lambda0=0.7", "2832.71");

TEST(Skydepth, DocumentedRuns)
{
	check(SKYDEPTH_PATH, {
		{{}, usage},
		{{"1"}, z1},
		{{"1", "-simple"}, "6452.3\n"},
		{{"1", "-verbose"}, z1_verbose},
		{{"0", "-verbose"}, z0_verbose},
		{{"0.5", "-h0", "70", "-omega", "0.3", "-lambda", "0.7", "-verbose"},
		 verbose("0.5", " H0=70 Omega_M=0.3 Lambda0=0.7",
			 "d_L=2832.71 Mpc, d_c=1888.47 Mpc, d_A=1258.98 Mpc",
			 "t_age=8.42124 Gyr, t_lookback=5.04025 Gyr, t_now=13.4615 Gyr", "2832.71")},
		{{"1000", "-verbose"},
		 verbose("1000", defaults, "d_L=1.36108e+07 Mpc, d_c=13597.3 Mpc, d_A=13.5837 Mpc",
			 "t_age=0.000428392 Gyr, t_lookback=13.2905 Gyr, t_now=13.2909 Gyr",
			 "1.36108e+07")},
	});
}

TEST(Skydepth, OptionScan)
{
	check(SKYDEPTH_PATH, {
		{{"-verbose"}, z0_verbose},
		{{"1", "-h0"}, z1},
		{{"1", "-h0", "-verbose"}, z1_verbose},
		{{"1", "-verbose", "-simple"}, "6452.3\n"},
		{{"1", "-simple", "-verbose"}, z1_verbose},
		{{"1", "-simplex"}, z1},
		{{"1", "-verbosely"}, z1_verbose},
		{{"0.5", "-hubble", "70", "-matter", "0.3", "-vaccum", "0.7"}, z05},
		// Prefixes match, and the value still comes from the next argument.
		{{"0.5", "-h0=1", "70", "-omegas", "0.3", "-lambdax", "0.7"}, z05},
		// The first argument not starting with '-' is z, even an option's value.
		{{"-h0", "70", "1"}, normal("70", " H0=70 Omega_M=0.27 Lambda0=0.73", "908610")},
		{{"", "1"}, z1},
		// An empty value is taken, and the default applies; a '-' value is not.
		{{"1", "-h0", "70", "-h0", ""}, z1},
		{{"0.5", "-h0", "70", "-h0", "-x", "-omega", "0.3", "-lambda", "0.7"}, z05},
		{{"0.5", "-h0", "70", "-omega", "0.3", "-lambda", "0.7", "-h0"}, z05},
		{{"1", "-Verbose", "-h", "--simple", "x"}, z1},
		// One character short is no option; a longer word still matches.
		{{"1", "-hubbl", "70"}, z1},
		{{"1", "-matte", "0.3"}, z1},
		{{"1", "-lambd", "0.7"}, z1},
		{{"1", "-vaccu", "0.7"}, z1},
		{{"1", "-verbos"}, z1},
		{{"1", "-hubbles", "70"}, normal("1", " H0=70 Omega_M=0.27 Lambda0=0.73", "6728.76")},
	});
}

TEST(Skydepth, NegativeAndNonFinite)
{
	const std::string nan_report =
		verbose("1", " H0=0 Omega_M=0.27 Lambda0=0.73", "d_L=-nan Mpc, d_c=-nan Mpc, d_A=-nan Mpc",
			"t_age=-nan Gyr, t_lookback=-nan Gyr, t_now=-nan Gyr", "-nan");
	check(SKYDEPTH_PATH, {
		{{" -1"}, normal("-1", defaults, "0")},
		{{" -1", "-verbose"}, normal("-1", defaults, "0")},
		{{" -1", "-simple"}, "0\n"},
		{{"-1"}, normal("0", defaults, "0")},
		{{"1", "-h0", "0", "-verbose"}, nan_report},
		{{"1", "-h0", "abc"}, normal("1", " H0=0 Omega_M=0.27 Lambda0=0.73", "-nan")},
		{{"1", "-h0", " "}, normal("1", " H0=0 Omega_M=0.27 Lambda0=0.73", "-nan")},
		{{"0", "-lambda", "0", "-verbose"},
		 verbose("0", " H0=73 Omega_M=0.27 Lambda0=0", "d_L=0 Mpc, d_c=0 Mpc, d_A=0 Mpc",
			 "t_age=17.1778 Gyr, t_lookback=0 Gyr, t_now=17.1778 Gyr", "0")},
		// The times are the Hubble time's: finite without vacuum energy, and
		// a negative parameter leaves them to the integrals.
		{{"0", "-h0", "70", "-omega", "1", "-lambda", "0", "-verbose"},
		 verbose("0", " H0=70 Omega_M=1 Lambda0=0", "d_L=0 Mpc, d_c=0 Mpc, d_A=0 Mpc",
			 "t_age=9.31116 Gyr, t_lookback=0 Gyr, t_now=9.31116 Gyr", "0")},
		{{"1", "-lambda", " -0.1", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=-0.1",
			 "d_L=10178.5 Mpc, d_c=5089.23 Mpc, d_A=2544.62 Mpc",
			 "t_age=6.11857 Gyr, t_lookback=12.3486 Gyr, t_now=18.4671 Gyr", "10178.5")},
		{{"1", "-omega", " -0.001", "-verbose"},
		 verbose("1", " H0=73 Omega_M=-0.001 Lambda0=0.73",
			 "d_L=9634.76 Mpc, d_c=4817.38 Mpc, d_A=2408.69 Mpc",
			 "t_age=38.44 Gyr, t_lookback=10.8884 Gyr, t_now=49.3285 Gyr", "9634.76")},
		{{"1", "-h0", "1e999"}, normal("1", " H0=inf Omega_M=0.27 Lambda0=0.73", "0")},
	});
}

/* Values a float cannot hold, so that reading any of them in single
 * precision shows. */
TEST(Skydepth, DoublePrecisionValues)
{
	check(SKYDEPTH_PATH, {
		{{"0.34"}, normal("0.34", defaults, "1734.15")},
		{{"1", "-h0", "68.4"}, normal("1", " H0=68.4 Omega_M=0.27 Lambda0=0.73", "6886.12")},
		{{"1", "-omega", "0.92"}, normal("1", " H0=73 Omega_M=0.92 Lambda0=0.73", "4345.69")},
		{{"1", "-lambda", "0.1", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=0.1",
			 "d_L=8597.95 Mpc, d_c=4298.97 Mpc, d_A=2149.49 Mpc",
			 "t_age=6.02485 Gyr, t_lookback=10.2381 Gyr, t_now=16.263 Gyr", "8597.95")},
		{{"1e39"}, normal("1e+39", defaults, "1.38783e+43")},
		{{"1", "-h0", "1e39"}, normal("1", " H0=1e+39 Omega_M=0.27 Lambda0=0.73", "4.71072e-34")},
		{{"1", "-omega", "1e39"}, normal("1", " H0=73 Omega_M=1e+39 Lambda0=0.73", "1.52148e-16")},
		{{"1", "-lambda", "1e39", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=1e+39",
			 "d_L=2.59733e-16 Mpc, d_c=1.29867e-16 Mpc, d_A=6.49333e-17 Mpc",
			 "t_age=3.75759e-18 Gyr, t_lookback=2.93595e-19 Gyr, t_now=4.05118e-18 Gyr",
			 "2.59733e-16")},
	});
}

} // namespace
