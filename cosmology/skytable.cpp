/*
 * skytable - skydepth's distances, and on request its times, for a whole
 * catalog of redshifts: one tab-separated line for each line of input, or
 * a table's rows each with its columns; or, with -from, the redshift at
 * which a distance or a time is reached.
 *
 * The options are read in options.h; the records stream through blocks
 * and worker threads (reader.h, stream.h), a table's first row set up by
 * header.h, and each block is computed in rows.h.
 */
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "finish.h"
#include "growth.h"
#include "header.h"
#include "notes.h"
#include "options.h"
#include "parameters.h"
#include "processors.h"
#include "reader.h"
#include "rows.h"

static const char *const values_help[] = {
	"  value ...                          redshifts; without any, the lines of standard input;",
	"                                     with -column, the tables' files (- standard input)",
	"  -simple                            only d_L after each redshift",
	"  -verbose                           also t_age, t_lookback and t_now",
	nullptr};
static const char *const table_help[] = {
	"  -ruler                             the universe's numbers, a name and a value to a line:",
	"                                     z_star, r_star, theta_star (100 times), z_drag, r_drag, z_eq",
	"  -columns LIST                      the columns, comma-separated, of z, d_L, d_c, d_M, d_A,",
	"                                     mu, kpc_arcsec, V_c, dV_c, H, dd_L, t_age, t_lookback, t_now,",
	"                                     D, f, fsigma8, Omega_M_z, rho_c, D_H, D_V, r_s, eta, x_e,",
	"                                     DM_rd, DH_rd, DV_rd; with frames, z_cmb, z_cos",
	"  -header                            first a line naming the columns",
	"  -pairs                             the values are pairs, a lens z1 and a source z2: two per",
	"                                     line, or -column NAME1,NAME2; columns d_c12, d_M12,",
	"                                     d_A12 (the default), Sigma_crit, D_dt",
	"  -column NAME, -column N            standard input is a table (CSV, TSV or blank-separated):",
	"                                     the values are its field NAME, named in its header,",
	"                                     or its N-th field; each row is written whole, the",
	"                                     columns after it",
	"  -zhel NAME|N                       the field of each object's observed (heliocentric)",
	"                                     redshift: d_L, mu, d_A and kpc_arcsec are seen at it,",
	"                                     d_L = (1 + z_hel) d_M(z), the rest are those of -column's z;",
	"                                     without -column, -zhel reads z and z_hel on each line",
	"  -ra NAME|N -dec NAME|N             the fields of each object's ICRS position in degrees:",
	"                                     -column's redshift is heliocentric, and its distances are",
	"                                     those of z_cmb, the Sun's motion taken out (Planck 2018)",
	"  -vpec NAME|N                       the field of each peculiar velocity in km/s, taken out too:",
	"                                     1 + z_cos = (1 + z_cmb)/sqrt((1 + v/c)/(1 - v/c))",
	"  -sep tab|comma|space|C             the table's separator, where its first row shows another:",
	"                                     a word, or any one character, as in -sep ';'",
	"  -decimal .|,                       the values' decimal separator, and that of every number",
	"                                     added: -decimal , reads 2,5 and writes 6452,3",
	"  -from Q                            the values are Q: d_L, d_c, D_V in Mpc, mu in mag, V_c in",
	"                                     Gpc^3, t_age, t_lookback in Gyr, D, DM_rd, DH_rd, DV_rd;",
	"                                     each gets its redshift, then its line: skytable -from d_L",
	"                                     6452.3 finds z = 1",
	"  -digits N                          significant digits of every number, 1 to 17 (6)",
	"  -threads N                         at most N threads (one per processor)",
	"  --                                 ends the options, before a value such as -1",
	"  --help, --version                  this text, or the version",
	nullptr};

/* The longest row of a table read whole, and what a longer one is told. */
enum { longest_row = 1 << 20 };
static const char row_too_long[] = "a row longer than 1 MiB (1048576 bytes)";

/* What a table's heading works with: the table, the input being read and
 * the first one with a row, as messages name them. */
struct Heads {
	header::Table *table;
	std::string name, first;
};

/* How the reading ended: the input being read, "NAME: " in messages (or
 * ""), the errno of a failed read, and whether a file could not be opened. */
struct Ending {
	std::string file;
	int read_errno = 0;
	bool unopened = false;
};

static void help();
static void set_up(const options::Options &o, rows::Setup &s, inverse::Guide &guide);
static int print_ruler(const options::Options &o, const expansion::Universe &u);
static void read_values(stream::Ring &r, bool pairs, char *const *args, int count);
static void read_tables(stream::Ring &r, rows::Setup &s, char *const *names, int count, Ending &end);
static std::string unframed(const options::Options &o);
static int report(const options::Options &o, const rows::Setup &s, stream::Ring &r, const Ending &end);

int
main(int argc, char *argv[])
{
	options::Options o;
	if (answer("skytable", argc, argv, help))
		return finish("skytable");
	int i = options::parse(argc, argv, o);
	if (i < 0)
		return 1;
	if (o.header) {
		std::string names;
		for (columns::Id c : o.columns)
			names.append("\t").append(columns::table[c].name);
		std::printf("%s%s\n", o.pairs ? "z1\tz2" : o.observed ? "z\tz_hel" : columns::table[o.from].name,
			    names.c_str());
	}
	rows::Setup setup;
	inverse::Guide guide;
	set_up(o, setup, guide);
	if (o.ruler)
		return print_ruler(o, setup.u);
	stream::Format format;
	if (o.column)
		format = {0, longest_row, row_too_long};
	/* Each column's separator and number, and the line end. */
	format.added = o.columns.size() * 26 + 1;
	stream::Ring r;
	stream::start(r, o.threads ? o.threads : std::min(processors(), int{stream::max_threads}), rows::compute,
		      &setup, format);
	Ending end;
	if (o.column)
		read_tables(r, setup, argv + i, argc - i, end);
	else if (i < argc)
		read_values(r, o.pairs || o.observed, argv + i, argc - i);
	else
		end.read_errno = stream::read_input(r, 0);
	stream::stop(r);
	return report(o, setup, r, end);
}

static void
help()
{
	std::fputs(options::usage, stdout);
	for (const char *const *l = values_help; *l; l++)
		std::puts(*l);
	for (const std::string &line : parameters::help(false, [](const parameters::Parameter &) { return ""; }))
		std::puts(line.c_str());
	for (const char *const *l = table_help; *l; l++)
		std::puts(*l);
}

/* What every block is computed with, from the options; the growth where a
 * column needs it, with a note where it has no solution. */
static void
set_up(const options::Options &o, rows::Setup &s, inverse::Guide &guide)
{
	auto asked = [&](columns::Id id) { return std::find(o.columns.begin(), o.columns.end(), id) != o.columns.end(); };
	s.u = expansion::universe(o.model);
	if (columns::grows(o.from) || std::any_of(o.columns.begin(), o.columns.end(), columns::grows)) {
		s.u.growth = growth::of(s.u);
		if (s.u.growth->dark)
			note("skytable", "%s", growth::dark_note);
	}
	/* The ruler where a column needs it: its thermal history where one
	 * needs the baryons, or r_d is not given. */
	std::vector<columns::Id> all = o.columns;
	all.push_back(o.from);
	bool horizons = o.ruler, thermal = o.ruler;
	for (columns::Id c : all) {
		horizons = horizons || columns::needs(c) != columns::nothing;
		thermal = thermal || columns::needs(c) == columns::baryons ||
			  (columns::needs(c) == columns::ruler_length && std::isnan(o.model.r_d) && !o.model.r_d_fit);
	}
	if (horizons)
		s.u.ruler = ruler::of(s.u, thermal);
	s.columns = o.columns;
	s.pairs = o.pairs;
	s.digits = o.digits;
	s.decimal = o.decimal;
	/* The lookback time shares the comoving sum's samples and costs little
	 * more; the age has samples of its own. */
	inverse::pose(s.inverse, o.from, s.u, &guide, asked(columns::t_age) || asked(columns::t_now),
		      asked(columns::t_lookback));
	s.table = o.column;
	std::string names;
	for (columns::Id c : o.columns)
		names.append("\t").append(columns::table[c].name);
	s.asked = {o.observed, o.ra != nullptr, o.vpec != nullptr};
	s.sun = frames::sun();
	if (!o.column)
		return;
	std::size_t cut = o.pairs ? std::strcspn(o.column, ",") : std::strlen(o.column);
	auto name = [](const char *n) { return std::string(n ? n : ""); };
	s.heads = header::wanted({std::string(o.column, cut), o.pairs ? std::string(o.column + cut + 1) : name(o.zhel),
				  name(o.ra), name(o.dec), name(o.vpec)},
				 o.observed, o.sep, o.decimal, names);
}

/* The universe's numbers, a name and a value to a line; and where -rd
 * says what the ratios divide by, that r_d, given or the fit's. */
static int
print_ruler(const options::Options &o, const expansion::Universe &u)
{
	const ruler::Ruler &r = *u.ruler;
	std::vector<std::pair<const char *, double>> numbers = {{"z_star", r.z_star}, {"r_star", r.r_star},
								{"theta_star", r.theta_star}, {"z_drag", r.z_drag},
								{"r_drag", r.r_drag}, {"z_eq", r.z_eq}};
	if (!std::isnan(u.m.r_d) || u.m.r_d_fit)
		numbers.push_back({u.m.r_d_fit ? "r_d_fit" : "r_d", r.r_d});
	std::string out;
	for (const auto &n : numbers) {
		out.append(n.first).push_back('\t');
		numbers::put(out, n.second, o.digits, o.decimal);
		out.push_back('\n');
	}
	std::fputs(out.c_str(), stdout);
	return finish("skytable");
}

/* The arguments' values, lines of a redshift each, or with pairs (or
 * -zhel) of two. */
static void
read_values(stream::Ring &r, bool pairs, char *const *args, int count)
{
	std::vector<std::string> joined;
	std::vector<char *> lines;
	for (int k = 0; pairs && k + 1 < count; k += 2)
		joined.push_back(std::string(args[k]) + '\t' + args[k + 1]);
	lines.reserve(joined.size());
	for (std::string &a : joined)
		lines.push_back(&a[0]);
	if (pairs)
		stream::read_arguments(r, lines.data(), static_cast<int>(lines.size()));
	else
		stream::read_arguments(r, args, count);
}

/* The heading's first question: the separator, set by the first row the
 * run reads. */
static char
separator(void *job, const char *l, const char *stop)
{
	header::Table &t = *static_cast<Heads *>(job)->table;
	if (!t.seen)
		header::separate(t, l, stop);
	return t.sep;
}

/* The heading's second: what an input's first row is. */
static header::Verdict
first_row(void *job, const char *l, const char *stop, const char *end, std::string &why)
{
	Heads &h = *static_cast<Heads *>(job);
	if (!h.table->seen)
		h.first = h.name;
	return header::first_row(*h.table, l, stop, end, h.first, why);
}

/*
 * The tables of -column, each operand in turn ("-", or none, standard
 * input) through the ring, until one fails: end tells how, after saying
 * that a file cannot be opened.
 */
static void
read_tables(stream::Ring &r, rows::Setup &s, char *const *names, int count, Ending &end)
{
	Heads heads = {&s.heads, "", ""};
	const stream::Heading heading = {separator, first_row, &heads};
	for (int k = 0; k < std::max(count, 1) && !r.failed && !end.read_errno; k++) {
		const char *name = count ? names[k] : "-";
		heads.name = shown(name).text;
		end.file = count ? heads.name + ": " : "";
		int fd = std::strcmp(name, "-") ? open(name, O_RDONLY | O_CLOEXEC) : 0;
		if (fd < 0) {
			int why = errno;
			std::fflush(stdout);
			std::fprintf(stderr, "skytable: %s: cannot open: %s\n", heads.name.c_str(), std::strerror(why));
			end.unopened = true;
			return;
		}
		end.read_errno = stream::read_input(r, fd, &heading, k == 0);
		if (fd != 0)
			close(fd);
	}
}

/* What a record without frames had: no position, no speed below c, or an
 * observed redshift of -1 or less. */
static std::string
unframed(const options::Options &o)
{
	std::string what = o.ra ? "no position (RA not a number, Dec not within 90 degrees)" : "";
	if (o.vpec)
		what.append(what.empty() ? "" : ", ").append("no velocity below c");
	return what + (what.empty() ? "" : ", or ") + "an observed redshift of -1 or less";
}

/* Says what failed, or what was read other than it looks, after what was
 * written; returns the exit status. */
static int
report(const options::Options &o, const rows::Setup &s, stream::Ring &r, const Ending &end)
{
	int status = end.unopened;
	const char *file = end.file.c_str();
	if (!r.write_errno && std::fflush(stdout) != 0)
		r.write_errno = errno;
	/* A lost write is the one failure to report: nothing after it counts. */
	if (r.write_errno) {
		errno = r.write_errno;
		status = 0;
	} else if (!r.bad_text.empty()) {
		std::string line = r.bad_line ? "line " + std::to_string(r.bad_line) + ": " : "";
		std::fprintf(stderr, "skytable: %s%s%s\n", file, line.c_str(), r.bad_text.c_str());
		status = 1;
	} else if (end.read_errno) {
		std::fprintf(stderr, "skytable: %sread error: %s\n", file, std::strerror(end.read_errno));
		status = 1;
	}
	const header::Table &t = s.heads;
	bool ok = !r.write_errno;
	if (r.empty && ok)
		note("skytable", "%ld row%s had no %s; %s columns are nan", r.empty, r.empty == 1 ? "" : "s",
		     (t.label[header::first] + (t.label[header::second].empty() ? "" : " or " + t.label[header::second])).c_str(),
		     r.empty == 1 ? "its" : "their");
	if (r.negative && ok)
		note("skytable", "%ld %s had a negative redshift; %s distances are 0, the rest nan", r.negative,
		     s.table ? (r.negative == 1 ? "row" : "rows") : (r.negative == 1 ? "line" : "lines"),
		     r.negative == 1 ? "its" : "their");
	if (t.lone && ok && !status)
		note("skytable", "the table's first row shows no separator: the columns follow %s (-sep to choose)",
		     t.sep == ',' ? "commas" : "semicolons");
	if (r.unframed && ok)
		note("skytable", "%ld %s had %s; %s distances are nan", r.unframed,
		     s.table ? (r.unframed == 1 ? "row" : "rows") : (r.unframed == 1 ? "line" : "lines"), unframed(o).c_str(),
		     r.unframed == 1 ? "its" : "their");
	if (r.reversed && ok)
		note("skytable", "%ld pair%s had z1 above z2; %s columns are nan", r.reversed, r.reversed == 1 ? "" : "s",
		     r.reversed == 1 ? "its" : "their");
	return finish("skytable") | status;
}
