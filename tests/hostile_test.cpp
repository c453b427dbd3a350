#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <regex>

#include "run.h"

namespace {

/* What each program may print, whatever its arguments. */
#define NUM "-?(nan|inf|[0-9]+(\\.[0-9]+)?(e[+-][0-9]+)?)"
const std::regex skydepth_form(
	"Usage: skydepth z \\[-simple\\] -h0 73 -matter 0\\.27 -vaccum 0\\.73 \\[-verbose\\]\n"
	"|" NUM "\n"
	"|skydepth " NUM " H0=" NUM " Omega_M=" NUM " Lambda0=" NUM "\n"
	"(skydepth z=" NUM " H0=" NUM " Omega_M=" NUM " Lambda0=" NUM
	" Curvaturve_k=" NUM " Radiation=4\\.165E-5/\\(h\\*h\\)\n"
	"skydepth d_L=" NUM " Mpc, d_c=" NUM " Mpc, d_A=" NUM " Mpc\n"
	"skydepth t_age=" NUM " Gyr, t_lookback=" NUM " Gyr, t_now=" NUM " Gyr\n)?"
	"skydepth = " NUM " Mpc\n");
const std::regex wideshow_form("[0-9a-f]{16}\n|Usage: wideshow .*\nUsage: wideshow .*\n");
const std::regex slimshow_form("[0-9a-f]{8}\n|Usage: slimshow .*\n");
const std::regex reader_form("-?(nan|inf|[0-9]+\\.[0-9]{6})\n|Usage: .*\nUsage: .*\n");

const char *const tokens[] = {"-h0", "-hubble", "-omega", "-matter", "-lambda", "-vaccum",
			      "-verbose", "-simple", "-simplex", "-h0=70", "-", "--", "", " ",
			      "1", "0.5", "70", " -1", "1e999", "1e-400", "nan", "-inf", "0x1p3",
			      "ae47e17a14aef33f", "0xA4709D3F", "-1", "fffffffffffffffff"};

Args
random_args(std::mt19937 &rng)
{
	Args args(rng() % 7);
	for (auto &a : args) {
		if (rng() % 2) {
			a = tokens[rng() % std::size(tokens)];
			continue;
		}
		a.resize(rng() % 65);
		for (auto &c : a)
			c = static_cast<char>(1 + rng() % 255);
	}
	return args;
}

TEST(Hostile, RandomArguments)
{
	const struct {
		const char *path;
		const std::regex &form;
	} programs[] = {{SKYDEPTH_PATH, skydepth_form},
			{WIDESHOW_PATH, wideshow_form},
			{SLIMSHOW_PATH, slimshow_form},
			{SLIMREAD_PATH, reader_form},
			{WIDEREAD_PATH, reader_form}};
	std::mt19937 rng(5);
	for (const auto &p : programs)
		for (int i = 0; i < 300; i++) {
			Args args = random_args(rng);
			Outcome r = run(p.path, args);
			std::string argv = describe(p.path, args);
			EXPECT_EQ(r.status, 0) << argv;
			EXPECT_TRUE(only_notes(p.path, r.err)) << argv << "\nsaid: " << r.err;
			EXPECT_TRUE(std::regex_match(r.out, p.form)) << argv << "\nprinted: " << r.out;
		}
}

/* skytable prints lines that answer its input's lines, or fails saying why. */
const std::regex skytable_line("[^\t\n]+(\t" NUM "){1,6}");
const std::regex skytable_error("skytable: (line [0-9]+: )?[^\n]*\n"
				"(usage: skytable \\[-simple \\| -verbose\\] .*\n)?");

void
check_skytable(const Outcome &r, size_t lines, const std::string &what)
{
	size_t printed = 0, bad = 0;
	for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1) {
		// Comments and blank lines come back as they went in; <regex>
		// would overflow the stack on a long one, or on a long redshift
		// argument, which is matched by its first byte.
		std::string line = r.out.substr(at, nl - at);
		size_t k = line.find_first_not_of(" \t\r"), tab = line.find('\t');
		if (tab != std::string::npos && tab > 1)
			line.erase(1, tab - 1);
		if (k != std::string::npos && line[k] != '#') {
			EXPECT_TRUE(std::regex_match(line, skytable_line)) << what << "\nprinted: " << line;
		}
		printed++;
	}
	if (r.status == 0) {
		EXPECT_TRUE(only_notes(SKYTABLE_PATH, r.err)) << what << "\nsaid: " << r.err;
		EXPECT_EQ(printed, lines) << what;
		return;
	}
	EXPECT_EQ(r.status, 1) << what;
	EXPECT_TRUE(std::regex_match(r.err, skytable_error)) << what << "\nsaid: " << r.err;
	if (std::sscanf(r.err.c_str(), "skytable: line %zu:", &bad) == 1) {
		EXPECT_EQ(printed, bad - 1) << what << "\nsaid: " << r.err;
	} else {
		EXPECT_EQ(r.out, "") << what;
	}
}

TEST(Hostile, SkytableRandomArgumentsAndInput)
{
	std::mt19937 rng(14);
	for (int i = 0; i < 300; i++) {
		Args args = random_args(rng);
		if (i % 3 == 0)
			args.insert(args.begin(), {"-threads", std::to_string(1 + rng() % 4)});
		std::string input;
		size_t lines = 0;
		if (i % 2) {
			for (const auto &a : random_args(rng))
				input += a + "\n";
			lines = static_cast<size_t>(std::count(input.begin(), input.end(), '\n'));
		}
		size_t z = 0; // the redshift arguments, after the options
		while (z < args.size() && args[z][0] == '-' && args[z] != "--")
			z += args[z] == "-simple" || args[z] == "-verbose" ? 1 : 2;
		z += z < args.size() && args[z] == "--";
		Outcome r = run(SKYTABLE_PATH, args, Stdout::pipe, input);
		check_skytable(r, z < args.size() ? args.size() - z : lines,
			       describe(SKYTABLE_PATH, args) + " < [" + input.substr(0, 80) + "]");
	}
}

const std::string digits(100000, '1'), hexdigits(100000, 'f'), blanks(100000, ' ');
const std::string padded3f = std::string(99998, '0') + "3f";

Args
many(const std::string &first, const std::string &rest)
{
	Args args(5000, rest);
	args[0] = first;
	return args;
}

std::string
skydepth_normal(const std::string &z, const std::string &d_L)
{
	return "skydepth " + z + " H0=73 Omega_M=0.27 Lambda0=0.73\nskydepth = " + d_L + " Mpc\n";
}

TEST(Hostile, Skydepth)
{
	const std::string zero = skydepth_normal("0", "0");
	check(SKYDEPTH_PATH, {
		{{digits}, skydepth_normal("inf", "inf")},
		{{"0x1p99999"}, skydepth_normal("inf", "inf")},
		{{hexdigits}, zero},
		{{blanks}, zero},
		{many("1", "-h0"), skydepth_normal("1", "6452.3")},
		{many("x", "-simple"), "0\n"},
		{{"\xff\xfe\x80"}, zero},
		{{"%n%s%x", "-h0", "%n"}, "skydepth 0 H0=0 Omega_M=0.27 Lambda0=0.73\nskydepth = -nan Mpc\n"},
		{{"\x01\x1b[2J\x7f"}, zero},
		{{"\t\n1"}, skydepth_normal("1", "6452.3")},
		{{"---", "-"}, zero},
		{{"1e-400"}, zero},
		{{"-nan"}, zero},
		{{" -nan"}, skydepth_normal("-nan", "-nan")},
	}, true);
}

TEST(Hostile, Skytable)
{
	std::string lots;
	for (int i = 0; i < 100000; i++)
		lots += "0.5\n";
	const struct {
		Args args;
		std::string input;
		size_t lines;
	} runs[] = {
		{{}, digits + "\n", 1},
		{{}, blanks + "1\n", 1},
		{{}, "#" + digits + "\n" + blanks + "\n", 2},
		{{}, "\xff\xfe\x80\n%n%s%x\n", 2},
		{{}, "1\n\x01\x1b[2J\x7f\n", 2},
		{{}, std::string(5000, '\n'), 5000},
		{{"-simple", "-threads", "64"}, lots, 100000},
		{{}, "0x1p99999\n-nan\n1e-400\n", 3},
		{many("-simple", "1"), "", 4999},
		{{"--", digits}, "", 1},
		{{"-h0", digits, "1"}, "", 1},
		{{"-omega", "nan", "-lambda", "-inf", "1"}, "", 1},
	};
	for (const auto &r : runs)
		check_skytable(run(SKYTABLE_PATH, r.args, Stdout::pipe, r.input), r.lines,
			       describe(SKYTABLE_PATH, r.args) + " < [" + r.input.substr(0, 40) + "]");
}

TEST(Hostile, ByteTools)
{
	const std::string zeros = "0000000000000000\n", inf = "000000000000f07f\n";
	check(WIDESHOW_PATH, {
		{{digits}, inf},
		{{hexdigits}, zeros},
		{{blanks}, zeros},
		{many("1.23", "x"), "ae47e17a14aef33f\n"},
		{{"\xff\xfe\x80"}, zeros},
		{{"%n%s%x"}, zeros},
		{{"\x01\x1b[2J\x7f"}, zeros},
		{{"---"}, zeros},
		{{"1e-400"}, zeros},
		{{"-nan"}, "000000000000f8ff\n"},
		{{"0x1p99999"}, inf},
		{{"0x1p-1074"}, "0100000000000000\n"},
	}, true);
	check(SLIMSHOW_PATH, {
		{{digits}, "0000807f\n"},
		{{hexdigits}, "00000000\n"},
		{{blanks}, "00000000\n"},
		{many("1.23", "x"), "a4709d3f\n"},
		{{"\xff\xfe\x80"}, "00000000\n"},
		{{"%n%s%x"}, "00000000\n"},
		{{"-nan"}, "0000c0ff\n"},
		{{"0x1p99999"}, "0000807f\n"},
		{{"0x1p-149"}, "01000000\n"},
		{{"0x1p-151"}, "00000000\n"},
	}, true);
	for (const char *reader : {SLIMREAD_PATH, WIDEREAD_PATH})
		check(reader, {
			{{digits}, "-nan\n"},
			{{hexdigits}, "-nan\n"},
			{{blanks}, "0.000000\n"},
			{{"\xff\xfe\x80"}, "0.000000\n"},
			{{"%n%s%x"}, "0.000000\n"},
			{{"\x01\x1b[2J\x7f"}, "0.000000\n"},
			{{"---"}, "0.000000\n"},
			{{"-nan"}, "0.000000\n"},
			{{"0x"}, "0.000000\n"},
			{{"0x1p99999"}, "0.000000\n"},
		}, true);
	check(SLIMREAD_PATH, {{{padded3f}, "0.500000\n"}, {many("a4709d3f", "x"), "1.230000\n"}}, true);
	check(WIDEREAD_PATH, {{{padded3f}, "0.000031\n"}, {many("a4709d3f", "x"), "0.028750\n"}}, true);
}

/* --help and --version, as the only argument, answer on stdout with 0;
 * the help names every option, and its examples are the right ones. */
TEST(EveryProgram, HelpAndVersion)
{
	const struct {
		const char *path;
		std::vector<std::string> in_help;
	} programs[] = {
		{SKYDEPTH_PATH,
		 {"Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]\n", "-h0, -hubble H0",
		  "-omega, -matter Omega_M", "-lambda, -vacuum, -vaccum Lambda0", "-verbose", "-simple",
		  "--help, --version"}},
		{SKYTABLE_PATH,
		 {"usage: skytable [-simple | -verbose] ", "-h0, -hubble H0", "-omega, -matter Omega_M",
		  "-lambda, -vacuum, -vaccum Lambda0", "-threads N", "--help, --version"}},
		{WIDESHOW_PATH, {"Usage: wideshow NUMBER\n", "wideshow 1.23 prints ae47e17a14aef33f"}},
		{SLIMSHOW_PATH, {"Usage: slimshow NUMBER\n", "slimshow 1.23 prints a4709d3f"}},
		{SLIMREAD_PATH, {"Usage: slimread HEX\n", "slimread a4709d3f prints 1.230000"}},
		{WIDEREAD_PATH, {"Usage: wideread HEX\n", "wideread ae47e17a14aef33f prints 1.230000"}},
	};
	for (const auto &p : programs) {
		std::string name = std::strrchr(p.path, '/') + 1;
		Outcome help = run(p.path, {"--help"}), version = run(p.path, {"--version"});
		EXPECT_EQ(help.out.find(p.in_help[0]), 0u) << name << " --help:\n" << help.out;
		for (const auto &text : p.in_help)
			EXPECT_NE(help.out.find(text), std::string::npos) << name << " --help lacks " << text;
		EXPECT_EQ(version.out, name + " (skykit) " KIT_VERSION "\n");
		// Only as the only argument.
		EXPECT_EQ(run(p.path, {"--version", "1"}).out.find("skykit"), std::string::npos) << name;
		for (const auto &o : {help, version}) {
			EXPECT_EQ(o.err, "") << name;
			EXPECT_EQ(o.status, 0) << name;
		}
	}
}

} // namespace
