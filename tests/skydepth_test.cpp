#include <gtest/gtest.h>

#include "run.h"

namespace {

const std::string usage = "Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]\n";
const std::string defaults = " H0=73 Omega_M=0.27 Lambda0=0.73";

/* The five lines of a verbose run, or the two of a normal one. */
std::string
verbose(const std::string &z, const std::string &params, const std::string &dist,
	const std::string &times, const std::string &d_L, const std::string &k = "0",
	const std::string &radiation = "4.165E-5/(h*h)")
{
	return "skydepth " + z + params + "\nskydepth z=" + z + params + " Curvaturve_k=" + k +
	       " Radiation=" + radiation + "\nskydepth " + dist + "\nskydepth " + times +
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
		{{"0.5", "-hubble", "70", "-matter", "0.3", "-vaccumm", "0.7"}, z05},
		{{"1", "-vaccu", "0.7"}, z1},
		{{"1", "-verbos"}, z1},
		{{"1", "-hubbles", "70"}, normal("1", " H0=70 Omega_M=0.27 Lambda0=0.73", "6728.76")},
	}, true);
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
			 "t_age=10.968 Gyr, t_lookback=0 Gyr, t_now=10.968 Gyr", "0", "0.73")},
		// The times are the Hubble time's: finite without vacuum energy, and
		// a negative parameter leaves them to the integrals.  Densities that
		// do not add up to 1 curve space.
		{{"0", "-h0", "70", "-omega", "1", "-lambda", "0", "-verbose"},
		 verbose("0", " H0=70 Omega_M=1 Lambda0=0", "d_L=0 Mpc, d_c=0 Mpc, d_A=0 Mpc",
			 "t_age=9.31116 Gyr, t_lookback=0 Gyr, t_now=9.31116 Gyr", "0")},
		{{"1", "-lambda", " -0.1", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=-0.1",
			 "d_L=5595.78 Mpc, d_c=2643.71 Mpc, d_A=1398.94 Mpc",
			 "t_age=4.4759 Gyr, t_lookback=6.27222 Gyr, t_now=10.7481 Gyr", "5595.78", "0.83")},
		{{"1", "-omega", " -0.001", "-verbose"},
		 verbose("1", " H0=73 Omega_M=-0.001 Lambda0=0.73",
			 "d_L=7368.69 Mpc, d_c=3562.06 Mpc, d_A=1842.17 Mpc",
			 "t_age=11.4474 Gyr, t_lookback=8.19095 Gyr, t_now=19.6384 Gyr", "7368.69", "0.271")},
		{{"1", "-h0", "1e999"}, normal("1", " H0=inf Omega_M=0.27 Lambda0=0.73", "0")},
	}, true);
}

/* Values a float cannot hold, so that reading any of them in single
 * precision shows. */
TEST(Skydepth, DoublePrecisionValues)
{
	check(SKYDEPTH_PATH, {
		{{"0.34"}, normal("0.34", defaults, "1734.15")},
		{{"1", "-h0", "68.4"}, normal("1", " H0=68.4 Omega_M=0.27 Lambda0=0.73", "6886.12")},
		{{"1", "-omega", "0.92"}, normal("1", " H0=73 Omega_M=0.92 Lambda0=0.73", "5255.78")},
		{{"1", "-lambda", "0.1", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=0.1",
			 "d_L=5762.44 Mpc, d_c=2749.91 Mpc, d_A=1440.61 Mpc",
			 "t_age=4.70192 Gyr, t_lookback=6.50267 Gyr, t_now=11.2046 Gyr", "5762.44", "0.63")},
		{{"1e39"}, normal("1e+39", defaults, "1.38783e+43")},
		{{"1", "-h0", "1e39"}, normal("1", " H0=1e+39 Omega_M=0.27 Lambda0=0.73", "4.71072e-34")},
		{{"1", "-omega", "1e39"}, normal("1", " H0=73 Omega_M=1e+39 Lambda0=0.73", "2.5971e-16")},
		// So much vacuum energy that the Friedmann sum is negative before
		// z = 1: that universe never was at z = 1.
		{{"1", "-lambda", "1e39", "-verbose"},
		 verbose("1", " H0=73 Omega_M=0.27 Lambda0=1e+39", "d_L=nan Mpc, d_c=nan Mpc, d_A=nan Mpc",
			 "t_age=nan Gyr, t_lookback=nan Gyr, t_now=nan Gyr", "nan", "-1e+39")},
		// The sum turns negative between z = 100 and now, though not at
		// z = 100 itself: no number, the age neither.
		{{"100", "-omega", "0.1", "-lambda", "2.0", "-verbose"},
		 verbose("100", " H0=73 Omega_M=0.1 Lambda0=2", "d_L=nan Mpc, d_c=nan Mpc, d_A=nan Mpc",
			 "t_age=nan Gyr, t_lookback=nan Gyr, t_now=nan Gyr", "nan", "-1.1")},
		// At z = inf the distances' limits: d_c the comoving horizon.
		{{"inf", "-verbose"},
		 verbose("inf", defaults, "d_L=inf Mpc, d_c=13878.3 Mpc, d_A=0 Mpc",
			 "t_age=0 Gyr, t_lookback=13.2909 Gyr, t_now=13.2909 Gyr", "inf")},
	}, true);
}

/*
 * Densities that do not add up to 1 curve space; radiation and dark energy
 * are as the options set them.  The digits were computed outside the kit:
 * by the 1000-step midpoint rule redone in Python in the kit's order of
 * operations and, for the curved rows, by an exact quadrature of the same
 * model (mpmath's tanh-sinh at 30 digits, radiation included).  They agree
 * to the printed digits except where the rule's own error (up to 1.1e-6 for
 * the distances at z = 10, 4.2e-6 for the times) moves the sixth digit;
 * there the digit is the rule's.
 */
TEST(Skydepth, Models)
{
	const struct {
		std::string h0, omega, lambda, z, k, f[6];
		Args more;
		std::string radiation = "4.165E-5/(h*h)";
	} cases[] = {
		{"70", "0.3", "0", "1", "0.7",
		 {"5871.79", "2794.94", "1467.95", "4.66897", "6.62484", "11.2938"}, {}},
		{"70", "0.3", "0", "10", "0.7",
		 {"123654", "7821.75", "1021.93", "0.437511", "10.8563", "11.2938"}, {}},
		{"70", "2", "0", "1", "-1", {"4282.57", "2242.34", "1070.64", "2.53036", "5.4422", "7.97256"}, {}},
		{"70", "2", "0", "10", "-1",
		 {"42825.7", "4886.63", "353.931", "0.182888", "7.78967", "7.97256"}, {}},
		{"70", "0.3", "0.699", "0.5", "0.001",
		 {"2832.24", "1888.1", "1258.77", "8.41789", "5.03931", "13.4572"}, {}},
		{"67.4", "0.5", "0.9", "2", "-0.4",
		 {"14348", "5259.37", "1594.23", "2.83609", "10.4988", "13.3348"}, {}},
		{"70", "0.3", "0.7", "1", "0",
		 {"6607.66", "3303.83", "1651.91", "5.75166", "7.71534", "13.467"}, {"-radiation", "0"}, "0/(h*h)"},
		{"70", "0.3", "0", "2", "0.7",
		 {"14237.9", "4243.1", "1581.99", "2.71579", "8.57288", "11.2887"}, {"-radiation", "1e-4"}, "0.0001/(h*h)"},
		{"73", "0.27", "0.73", "1", "0",
		 {"6255.29", "3127.64", "1563.82", "5.61076", "7.30909", "12.9198"}, {"-w0", "-0.9", "-wa", "0.2"},
		 "4.165E-5/(h*h) w0=-0.9 wa=0.2"},
	};
	for (const auto &c : cases) {
		const auto &f = c.f;
		Args params = {"-h0", c.h0, "-omega", c.omega, "-lambda", c.lambda, "-verbose"};
		params.insert(params.end(), c.more.begin(), c.more.end());
		Args args = params;
		args.insert(args.begin(), c.z);
		check(SKYDEPTH_PATH,
		      {{args, verbose(c.z, " H0=" + c.h0 + " Omega_M=" + c.omega + " Lambda0=" + c.lambda,
				      "d_L=" + f[0] + " Mpc, d_c=" + f[1] + " Mpc, d_A=" + f[2] + " Mpc",
				      "t_age=" + f[3] + " Gyr, t_lookback=" + f[4] + " Gyr, t_now=" + f[5] +
					      " Gyr",
				      f[0], c.k, c.radiation)}});
		params.push_back(c.z);
		check(SKYTABLE_PATH, {{params, c.z + "\t" + f[0] + "\t" + f[1] + "\t" + f[2] + "\t" +
						       f[3] + "\t" + f[4] + "\t" + f[5] + "\n"}});
	}
}

/* Standard output as ever, and a note on stderr for each argument read
 * other than it looks. */
TEST(Skydepth, Notes)
{
	auto n = [](const std::string &text) { return "skydepth: note: " + text + "\n"; };
	const std::string give_first = "the first argument not starting with '-': give the redshift first";
	const struct {
		Args args;
		std::string out, err;
	} cases[] = {
		{{"-h0", "70", "1", "-simple"}, "908610\n",
		 n("\"70\", the value of -h0, is also the redshift, " + give_first) +
			 n("ignored \"1\": the redshift is \"70\", and only one is read")},
		{{"1", "2", "-simple", "3"}, "6452.3\n",
		 n("ignored \"2\": the redshift is \"1\", and only one is read") +
			 n("ignored \"3\": the redshift is \"1\", and only one is read")},
		{{"1", "-lambda", "-0.1", "-simple"}, "6452.3\n",
		 n("-lambda takes no value starting with '-', so not \"-0.1\"; a leading blank, \" -0.1\", "
		   "passes it")},
		{{"1", "-h0", "-.5", "-simple"}, "6452.3\n",
		 n("-h0 takes no value starting with '-', so not \"-.5\"; a leading blank, \" -.5\", passes it")},
		{{"1", "-h0", "-simple"}, "6452.3\n",
		 n("-h0 has no value: the next argument, \"-simple\", starts with '-'")},
		{{"1", "-w0", "-0.9", "-wa", "-.2", "-simple"}, "6362.16\n", ""},
		{{"1", "-w0", "-0.9", "-simple"}, "6309.47\n", ""},
		{{"1", "-radiation", "-1", "-wa", "--x", "-simple"}, "6452.3\n",
		 n("-radiation takes no value starting with '-', so not \"-1\"; a leading blank, \" -1\", passes it") +
			 n("-wa has no value: the next argument, \"--x\", starts with '-'") +
			 n("ignored \"--x\": no such option")},
		{{"1", "-h0", "--x", "-simple"}, "6452.3\n",
		 n("-h0 has no value: the next argument, \"--x\", starts with '-'") +
			 n("ignored \"--x\": no such option")},
		{{"1", "-simple", "-h0"}, "6452.3\n", n("-h0 has no value: it is ignored")},
		{{"1", "-h0=70", "65", "-simple"}, "7246.21\n",
		 n("read \"-h0=70\" as -h0, whose value is the next argument")},
		{{"1", "-simplest", "-verbosely", "-x\x1b"}, z1_verbose,
		 n("ignored \"-simplest\": no such option") + n("read \"-verbosely\" as -verbose") +
			 n("ignored \"-x\\x1b\": no such option")},
		{{"1x", "-simple", "-omega", "0.3y"}, "6374.09\n",
		 n("read \"1x\" as \"1\": the rest is not part of the number") +
			 n("read \"0.3y\" as \"0.3\": the rest is not part of the number")},
		{{"1", "-simple", "-h0", "abc"}, "-nan\n",
		 n("read \"abc\" as 0: it does not start with a number") + n("H0 0 is not a finite number above 0: it is used as it is")},
		// The model's options that do not go together: noted, the run goes on.
		{{"1", "-tcmb", "2.7255", "-radiation", "1e-4", "-simple"}, "6452.57\n",
		 n("-radiation is ignored: the photons follow the CMB temperature")},
		{{"1", "-neff", "3", "-simple"}, "6452.3\n",
		 n("-neff is ignored: the neutrinos follow the CMB temperature, and there is none (-tcmb)")},
		{{"1", "-cosmology", "X", "-simple"}, "6452.3\n",
		 n("-cosmology: \"X\" is not one of Planck18, Planck15, Planck13, WMAP9, WMAP7, WMAP5: it is ignored")},
		{{"1", "-tcmb", "2.7255", "-mnu", "0.1,0.1", "-simple"}, "6441.93\n",
		 n("-mnu: 2 masses for 3 species (Neff 3.046): give one for all, or one each")},
		{{"1", "-flat", "-lambda", "0.5", "-simple"}, "6452.47\n",
		 n("-lambda with -flat: the vacuum closes the budget, and the value is ignored")},
		{{"1", "-tcmb", "2.7255", "-neutrinos", "fast", "-simple"}, "6452.57\n",
		 n("-neutrinos: \"fast\" is not exact or fit: exact is used")},
		{{"1", "-cosmology", "WMAP9", "-h0", "70", "-simple"}, "6660.81\n", ""},
		{{"1", "-tcmb", "0", "-mnu", "0.06", "-simple"}, "6453.04\n", ""},
		{{"1", "-tcmb", "2.7255", "-mnu", "", "-simple"}, "6452.57\n", ""},
		{{"1", "-tcmb", "3e5", "-flat", "-simple"}, "6.12891e-05\n",
		 n("radiation of 1.15243e+16 today swamps the budget: the vacuum that closes it would cancel it to fewer "
		   "than half a double's digits (above 6.71089e+07): the numbers are what the sum gives")},
		{{"1", "-simple", "-h0", ""}, "6452.3\n", n("-h0 has an empty value: H0 is the default, 73")},
		{{"", "1", "-simple"}, "6452.3\n", n("ignored an empty argument")},
		{{"-simple"}, "0\n", n("no redshift given: z is 0")},
		{{"\xff", "1", "-simple"}, "0\n",
		 n("ignored \"1\": the redshift is \"\\xff\", and only one is read") +
			 n("read \"\\xff\" as 0: it does not start with a number")},
		{{"1", "-vacuum", "0.7", "-simple"}, "6411.55\n", ""},
		// The baryons: -omegab is not -omega; what they need, and a set's under less matter
		{{"1", "-omegab", "0.05", "-simple"}, "6452.3\n",
		 n("-omegab is ignored: the baryons recombine as the CMB cools, and there is none (-tcmb)")},
		{{"1", "-tcmb", "2.7", "-yhe", "0.3", "-simple"}, "6452.59\n",
		 n("-yhe is ignored: it is a share of the baryons, and there is none (-omegab)")},
		{{"1", "-tcmb", "2.7", "-omega", "0.3", "-omegab", "0.5", "-simple"}, "6374.37\n",
		 n("-omegab: 0.5 is more than Omega_M, 0.3, of which the baryons are a part: it is used as it is")},
		{{"1", "-cosmology", "WMAP9", "-omega", "0.03", "-simple"}, "8321.37\n", ""},
		{{"1", "-tcmb", "2.7255", "-omegab", "0.05", "-yhe", "0.25", "-verbose"},
		 "skydepth 1 H0=73 Omega_M=0.27 Lambda0=0.73\n"
		 "skydepth z=1 H0=73 Omega_M=0.27 Lambda0=0.73 Curvaturve_k=-7.85082e-05 Tcmb=2.7255 Neff=3.046 m_nu=0 "
		 "Omega_gamma=4.6406e-05 Omega_nu=3.21022e-05 Omega_b=0.05 Y_He=0.25\n"
		 "skydepth z_star=1085.25 r_star=141.897 Mpc, 100 theta_star=1.04211, z_drag=1069.09 r_drag=143.271 Mpc, "
		 "z_eq=3438.13\n"
		 "skydepth d_L=6452.57 Mpc, d_c=3226.31 Mpc, d_A=1613.14 Mpc\n"
		 "skydepth t_age=5.77252 Gyr, t_lookback=7.51894 Gyr, t_now=13.2915 Gyr\n"
		 "skydepth = 6452.57 Mpc\n",
		 ""},
		{{"1", "-simple", "-h0", " 70 ", "-lambda", " -0.1"}, "5835.56\n", ""},
	};
	for (const auto &c : cases) {
		std::string argv = describe(SKYDEPTH_PATH, c.args);
		Outcome o = run(SKYDEPTH_PATH, c.args);
		EXPECT_EQ(o.out, c.out) << argv;
		EXPECT_EQ(o.err, c.err) << argv;
		EXPECT_EQ(o.status, 0) << argv;
	}
}

} // namespace
