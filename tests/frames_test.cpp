/* skytable's frames of a redshift: heliocentric, CMB-frame and cosmological
 * redshifts, and the distances seen at the observed one. */
#include <cmath>
#include <string>
#include <vector>

#include "run.h"

namespace {

std::vector<std::string>
split(const std::string &text, char sep)
{
	std::vector<std::string> parts;
	for (size_t at = 0, end;; at = end + 1) {
		end = text.find(sep, at);
		parts.push_back(text.substr(at, end - at));
		if (end == std::string::npos)
			return parts;
	}
}

/* The rows of a run's output, each cut at sep, the header left out. */
std::vector<std::vector<std::string>>
rows(const std::string &out, char sep, bool header)
{
	std::vector<std::vector<std::string>> r;
	for (const std::string &l : split(out, '\n'))
		if (!l.empty())
			r.push_back(split(l, sep));
	if (header && !r.empty())
		r.erase(r.begin());
	return r;
}

const double beta = 369.82 / 299792.458;

/*
 * Objects at known galactic coordinates (l, b), their ICRS positions and
 * redshifts computed by mpmath at 40 digits: ICRS = A^T (the galactic unit
 * vector), A the Hipparcos matrix as the kit holds it; cos theta the
 * galactic vectors' product with the apex l = 264.021, b = 48.253;
 * 1 + z_cmb = (1 + z_hel) sqrt(1 - beta^2)/(1 - beta cos theta) and
 * 1 + z_cos = (1 + z_cmb)/sqrt((c + v)/(c - v)), beta = 369.82/299792.458.
 * The galactic pole's position is the one the matrix is defined by.
 */
const struct Object {
	const char *name, *ra, *dec, *z_hel, *v;
	double z_cmb, z_cos;
} objects[] = {
	{"north pole", "192.85948", "27.12825", "0.05", "0", 0.050966478571269011, 0.050966478571269011},
	{"centre", "266.40499480104608", "-28.93617396013869", "0.1", "300", 0.099905057787057375, 0.098804941444402134},
	{"l=90", "318.00438681502813", "48.32964242159669", "1", "-500", 0.99836600020903114, 1.0017016999365253},
	{"apex", "167.94190822105459", "-6.9442641383126678", "0.02", "0", 0.021259035515335694, 0.021259035515335694},
	{"antapex", "347.94190822105459", "6.9442641383126678", "0.02", "1000", 0.018742516657397913, 0.015350006061229074},
	{"apex+90", "262.65202801449428", "-33.987473471217636", "0.5", "0", 0.49999885869738779, 0.49999885869738779},
	{"apex-90", "82.652028014494275", "33.987473471217636", "3", "0", 2.9999969565263674, 2.9999969565263674},
	{"south", "43.527708415044022", "-17.175942794331015", "0.007", "-2000", 0.0063781322443553619, 0.01311450955570891},
	/* RA 1e20 is RA 280 */
	{"far round", "1e20", "0", "0.2", "-700", 0.19944749619229901, 0.20225142185692573},
};

/* z_cmb and z_cos within 4e-15 of mpmath's, relative in 1 + z; at 90
 * degrees from the apex z_cmb is z_hel to second order in beta. */
TEST(Frames, AgainstReference)
{
	std::string csv = "name,z_hel,ra,dec,v\n";
	for (const Object &o : objects)
		csv += std::string(o.name) + "," + o.z_hel + "," + o.ra + "," + o.dec + "," + o.v + "\n";
	Args args = {"-column", "z_hel", "-ra", "ra", "-dec", "dec", "-vpec", "v", "-columns", "z_cmb,z_cos", "-digits", "17"};
	Outcome r = run(SKYTABLE_PATH, args, Stdout::pipe, csv);
	auto got = rows(r.out, ',', true);
	ASSERT_EQ(got.size(), std::size(objects)) << r.err;
	for (size_t k = 0; k < got.size(); k++) {
		const Object &o = objects[k];
		EXPECT_NEAR((1 + std::stod(got[k][5])) / (1 + o.z_cmb), 1, 4e-15) << o.name;
		EXPECT_NEAR((1 + std::stod(got[k][6])) / (1 + o.z_cos), 1, 4e-15) << o.name;
		if (std::string(o.name).find("apex") == std::string::npos)
			continue;
		double shift = (1 + std::stod(got[k][5])) / (1 + std::stod(o.z_hel)) - 1;
		if (std::string(o.name).find("90") != std::string::npos)
			EXPECT_NEAR(shift, -beta * beta / 2, beta * beta * beta) << o.name;
		else
			EXPECT_NEAR(std::fabs(shift), beta, beta * beta) << o.name;
	}
	/* Without a velocity, z_cos is z_cmb. */
	args.erase(args.begin() + 6, args.begin() + 8);
	auto still = rows(run(SKYTABLE_PATH, args, Stdout::pipe, csv).out, ',', true);
	ASSERT_EQ(still.size(), got.size());
	for (size_t k = 0; k < got.size(); k++)
		EXPECT_EQ(still[k][5] + " " + still[k][6], got[k][5] + " " + got[k][5]) << objects[k].name;
}

/*
 * d_L, mu, d_A and kpc_arcsec seen at z_hel are d_M at the cosmological z
 * times or over 1 + z_hel, as computed outside; every other column is the
 * plain run's, byte for byte; the table gives the lines' numbers; and z_cos
 * printed with 17 digits gives back its row's d_M.
 */
TEST(Frames, SeenAtTheObservedRedshift)
{
	const std::vector<Args> universes = {{}, {"-cosmology", "Planck18", "-exact"}, {"-omega", "0.3", "-lambda", "0.5", "-exact"}};
	const char *const pairs[][2] = {{"0.01", "0.0113"}, {"0.5", "0.49"}, {"1.3", "1.31"}, {"1e-4", "-0.002"}, {"7", "7"}};
	std::string lines, csv = "z,zh,v\n", plain;
	for (const auto &p : pairs) {
		lines += std::string(p[0]) + " " + p[1] + "\n";
		csv += std::string(p[0]) + "," + p[1] + ",1234\n";
		plain += std::string(p[0]) + "\n";
	}
	const std::string seen_columns = "d_L,mu,d_A,kpc_arcsec,d_c,H,t_age";
	for (const Args &u : universes) {
		Args seen = u, bare = u, table = u, moved = u;
		seen.insert(seen.end(), {"-zhel", "-digits", "17", "-columns", seen_columns});
		bare.insert(bare.end(), {"-digits", "17", "-columns", "d_M,d_c,H,t_age"});
		table.insert(table.end(), {"-column", "z", "-zhel", "zh", "-digits", "17", "-columns", seen_columns});
		auto s = rows(run(SKYTABLE_PATH, seen, Stdout::pipe, lines).out, '\t', false);
		auto b = rows(run(SKYTABLE_PATH, bare, Stdout::pipe, plain).out, '\t', false);
		auto t = rows(run(SKYTABLE_PATH, table, Stdout::pipe, csv).out, ',', true);
		ASSERT_EQ(s.size(), std::size(pairs));
		ASSERT_EQ(b.size(), s.size());
		ASSERT_EQ(t.size(), s.size());
		for (size_t k = 0; k < s.size(); k++) {
			std::string at = describe(SKYTABLE_PATH, seen) + " at " + pairs[k][0] + " " + pairs[k][1];
			double d_M = std::stod(b[k][1]), one = 1 + std::stod(pairs[k][1]), d_L = d_M * one, d_A = d_M / one;
			EXPECT_NEAR(std::stod(s[k][1]), d_L, 1e-15 * d_L) << at;
			EXPECT_NEAR(std::stod(s[k][2]), 5 * std::log10(d_L) + 25, 1e-14) << at;
			EXPECT_NEAR(std::stod(s[k][3]), d_A, 1e-15 * d_A) << at;
			EXPECT_NEAR(std::stod(s[k][4]), d_A * M_PI / 648, 1e-15 * d_A) << at;
			EXPECT_EQ(std::vector<std::string>(s[k].begin() + 5, s[k].end()), std::vector<std::string>(b[k].begin() + 2, b[k].end())) << at;
			EXPECT_EQ(std::vector<std::string>(t[k].begin() + 3, t[k].end()), std::vector<std::string>(s[k].begin() + 1, s[k].end())) << at;
		}
		moved.insert(moved.end(), {"-column", "z", "-vpec", "v", "-digits", "17", "-columns", "z_cos,d_M"});
		auto m = rows(run(SKYTABLE_PATH, moved, Stdout::pipe, csv).out, ',', true);
		std::string cosmological;
		for (const auto &row : m)
			cosmological += row[3] + "\n";
		bare.back() = "d_M";
		auto c = rows(run(SKYTABLE_PATH, bare, Stdout::pipe, cosmological).out, '\t', false);
		ASSERT_EQ(c.size(), m.size());
		for (size_t k = 0; k < m.size(); k++)
			EXPECT_EQ(m[k][4], c[k][1]) << describe(SKYTABLE_PATH, moved) << " row " << k;
	}
}

/* What does not go together is refused before anything is written; rows
 * without a frame get nan, counted in one note; a missing field ends the
 * run as a row's bad field does. */
TEST(Frames, RefusalsAndNotes)
{
	const std::string note = "skytable: note: ", unframed = "; their distances are nan\n";
	const struct {
		Args args;
		std::string input, out, err;
		int status;
	} cases[] = {
		{{"-ra", "ra", "-column", "z"}, "", "", "skytable: -ra needs -dec: a position is both\n", 1},
		{{"-ra", "ra", "-dec", "dec"}, "", "", "skytable: -ra names a field of -column's table\n", 1},
		{{"-vpec", "v", "1"}, "", "", "skytable: -vpec names a field of -column's table\n", 1},
		{{"-column", "z", "-zhel", "zh", "-ra", "ra", "-dec", "dec"}, "", "",
		 "skytable: -zhel with -ra: with a position, -column's redshift is the heliocentric one\n", 1},
		{{"-pairs", "-zhel", "1", "2"}, "", "", "skytable: -zhel with -pairs: frames are those of one redshift given\n", 1},
		{{"-from", "d_L", "-zhel"}, "", "", "skytable: -zhel with -from: frames are those of one redshift given\n", 1},
		{{"-columns", "z_cos", "1"}, "", "",
		 "skytable: -columns z_cos needs -zhel, -ra and -dec, or -vpec: the frames of each redshift\n", 1},
		{{"-column", "2", "-ra", "ra", "-dec", "3"}, "", "", "skytable: fields 3 and ra: number every field, or name every one\n", 1},
		{{"-zhel", "1", "1.01", "2"}, "", "", "skytable: -zhel: 3 redshifts, not pairs of z and z_hel\n", 1},
		{{"-column", "z", "-vpec", "0"}, "", "", "skytable: -vpec: fields are numbered from 1: 0\n", 1},
		{{"-header", "-zhel", "-simple", "1", "1.1"}, "", "z\tz_hel\td_L\n1\t1.1\t6774.91\n", "", 0},
		{{"-zhel", "-simple"}, "1 1.1\n1\n", "1 1.1\t6774.91\n", "skytable: line 2: not two numbers, z and z_hel: 1\n", 1},
		{{"-column", "z", "-ra", "ra", "-dec", "dec", "-vpec", "v", "-columns", "z_cmb,z_cos,d_L"},
		 "z,ra,dec,v\n0.1,x,0,0\n0.1,0,95,0\n0.1,0,0,\n0.1,0,0,3e5\n-1.5,0,0,0\n0.1,,0,0\n,0,0,0\n",
		 "z,ra,dec,v,z_cmb,z_cos,d_L\n0.1,x,0,0,nan,nan,nan\n0.1,0,95,0,nan,nan,nan\n0.1,0,0,,0.0986835,nan,nan\n"
		 "0.1,0,0,3e5,0.0986835,nan,nan\n-1.5,0,0,0,-1.4994,nan,nan\n0.1,,0,0,nan,nan,nan\n,0,0,0,nan,nan,nan\n",
		 note + "1 row had no z; its columns are nan\n" + note +
			 "6 rows had no position (RA not a number, Dec not within 90 degrees), no velocity below c, or an observed "
			 "redshift of -1 or less" + unframed, 0},
		{{"-column", "z", "-vpec", "v", "-columns", "z_cmb,z_cos"}, "z,v\n0.1,3000\n0.1,299792.458\n0.1,-299792.458\n",
		 "z,v,z_cmb,z_cos\n0.1,3000,0.1,0.0890469\n0.1,299792.458,0.1,nan\n0.1,-299792.458,0.1,nan\n",
		 note + "2 rows had no velocity below c, or an observed redshift of -1 or less" + unframed, 0},
		{{"-column", "z", "-zhel", "zh"}, "z,zh\n0.1,-1\n0.1,\n", "z,zh,d_L,d_c,d_A\n0.1,-1,nan,nan,nan\n0.1,,nan,nan,nan\n",
		 note + "1 row had no z or zh; its columns are nan\n" + note + "1 row had an observed redshift of -1 or less; its distances are nan\n", 0},
		/* -zhel names a field wherever -column comes among the options */
		{{"-zhel", "zh", "-column", "z", "-simple"}, "z,zh\n1,1.1\n", "z,zh,d_L\n1,1.1,6774.91\n", "", 0},
		{{"-pairs", "-column", "z_l,"}, "", "", "skytable: -pairs with -column: two fields, as in -column z_lens,z_source\n", 1},
		{{"-column", "z", "-zhel", "zh"}, "z,zh\n0.1,x\n", "z,zh,d_L,d_c,d_A\n", "skytable: line 2: zh: not a number: x\n", 1},
		{{"-column", "z", "-vpec", "v"}, "z,v\n0.1\n", "z,v,d_L,d_c,d_A\n", "skytable: line 2: no v: the row has 1 field\n", 1},
		{{"-column", "z", "-vpec", "w"}, "z,v\n", "", "skytable: -vpec w: the header has no such field; its fields are z, v\n", 1},
	};
	for (const auto &c : cases) {
		std::string argv = describe(SKYTABLE_PATH, c.args);
		Outcome o = run(SKYTABLE_PATH, c.args, Stdout::pipe, c.input);
		EXPECT_EQ(o.out, c.out) << argv;
		/* A refusal's usage line follows it. */
		EXPECT_EQ(o.err.substr(0, o.err.find("usage: skytable")), c.err) << argv;
		EXPECT_EQ(o.status, c.status) << argv;
	}
}

} // namespace
