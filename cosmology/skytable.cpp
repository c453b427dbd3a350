/*
 * skytable - skydepth's distances, and on request its times, for a whole
 * catalog of redshifts: one tab-separated line for each line of input; or,
 * with -from, the redshift at which a distance or a time is reached.
 *
 * The lines stream through blocks and worker threads (stream.h); here they
 * are parsed, computed several at a time in the lanes of a vector (forward
 * in expansion.h, inverse in inverse.h), and formatted.
 */
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "columns.h"
#include "kernels.h"
#include "fields.h"
#include "finish.h"
#include "general.h"
#include "growth.h"
#include "inverse.h"
#include "named.h"
#include "notes.h"
#include "reader.h"

static const char usage[] =
	"usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] [-lambda Lambda0] "
	"[-radiation R] [-w0 W0] [-wa WA] [-tcmb T] [-neff N] [-mnu LIST] [-neutrinos exact|fit] "
	"[-flat] [-cosmology NAME] [-sigma8 S] [-exact] [-columns LIST] [-header] [-pairs] [-column NAME|N] "
	"[-sep tab|comma|space|C] [-decimal .|,] [-from Q] [-digits N] [-threads N] [value ...]\n";

static const char *const help[] = {
	"usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] [-lambda Lambda0] [-radiation R] [-w0 W0] [-wa WA] [-tcmb T] [-neff N] [-mnu LIST] [-neutrinos exact|fit] [-flat] [-cosmology NAME] [-sigma8 S] [-exact] [-columns LIST] [-header] [-pairs] [-column NAME|N] [-sep tab|comma|space|C] [-decimal .|,] [-from Q] [-digits N] [-threads N] [value ...]",
	"  value ...                          redshifts; without any, the lines of standard input;",
	"                                     with -column, the tables' files (- standard input)",
	"  -simple                            only d_L after each redshift",
	"  -verbose                           also t_age, t_lookback and t_now",
	"  -h0, -hubble H0                    Hubble constant in km/s/Mpc (73)",
	"  -omega, -matter Omega_M            matter density parameter (0.27)",
	"  -lambda, -vacuum, -vaccum Lambda0  vacuum energy density parameter (0.73)",
	"  -radiation R                       radiation density Omega_r h^2 (4.165e-5; 0 for none)",
	"  -w0 W0, -wa WA                     dark energy w = w0 + wa (1 - a) (-1, 0)",
	NAMED_HELP,
	"  -sigma8 S                          sigma8 today, for the column fsigma8",
	"  -exact                             the integrals' true values, not the 1000-step rule's",
	"  -columns LIST                      the columns, comma-separated, of z, d_L, d_c, d_M, d_A,",
	"                                     mu, kpc_arcsec, V_c, dV_c, H, dd_L, t_age, t_lookback, t_now,",
	"                                     D, f, fsigma8, Omega_M_z, rho_c",
	"  -header                            first a line naming the columns",
	"  -pairs                             the values are pairs, a lens z1 and a source z2: two per",
	"                                     line, or -column NAME1,NAME2; columns d_c12, d_M12,",
	"                                     d_A12 (the default), Sigma_crit, D_dt",
	"  -column NAME, -column N            standard input is a table (CSV, TSV or blank-separated):",
	"                                     the values are its field NAME, named in its header,",
	"                                     or its N-th field; each row is written whole, the",
	"                                     columns after it",
	"  -sep tab|comma|space|C             the table's separator, where its first row shows another:",
	"                                     a word, or any one character, as in -sep ';'",
	"  -decimal .|,                       the values' decimal separator, and that of every number",
	"                                     added: -decimal , reads 2,5 and writes 6452,3",
	"  -from Q                            the values are Q: d_L, d_c in Mpc, mu in mag, V_c in",
	"                                     Gpc^3, t_age, t_lookback in Gyr, D; each gets its redshift,",
	"                                     then its line: skytable -from d_L 6452.3 finds z = 1",
	"  -digits N                          significant digits of every number, 1 to 17 (6)",
	"  -threads N                         at most N threads (one per processor)",
	"  --                                 ends the options, before a value such as -1",
	"  --help, --version                  this text, or the version",
	nullptr};

/* The options: those before hubble are flags, the others take the next
 * argument as their value. */
enum Id { simple, verbose, exact, header, flat, pairs, hubble, matter, vacuum, radiation, w0, wa, tcmb, neff, sigma8, mnu,
	  neutrinos, cosmology, from, digits, threads, listed, column, sep, decimal, ids };
static const struct Option {
	const char *name;
	Id id;
} options[] = {
	{"-simple", simple},	 {"-verbose", verbose}, {"-exact", exact},   {"-h0", hubble},
	{"-hubble", hubble},	 {"-omega", matter},	{"-matter", matter}, {"-lambda", vacuum},
	{"-vacuum", vacuum},	 {"-vaccum", vacuum},	{"-radiation", radiation}, {"-w0", w0},
	{"-wa", wa},		 {"-from", from},	{"-digits", digits}, {"-threads", threads},
	{"-header", header},	 {"-columns", listed},	{"-column", column}, {"-sep", sep},
	{"-tcmb", tcmb},	 {"-neff", neff},	{"-mnu", mnu},	     {"-neutrinos", neutrinos},
	{"-flat", flat},	 {"-cosmology", cosmology}, {"-sigma8", sigma8}, {"-pairs", pairs},
	{"-decimal", decimal},
};

/* The longest row of a table read whole, and what a longer one is told. */
enum { longest_row = 1 << 20 };
static const char row_too_long[] = "a row longer than 1 MiB (1048576 bytes)";

/* What the options ask for. */
struct Options {
	expansion::Model model;
	bool given[ids] = {};		       /* which options were given */
	const named::Cosmology *named = nullptr; /* -cosmology's */
	const char *form = nullptr; /* -simple or -verbose, where given */
	std::vector<columns::Id> columns;
	bool listed = false; /* whether -columns gave them */
	bool header = false;
	int threads = 0; /* 0: one per processor */
	int digits = 6;
	columns::Id from = columns::z;
	const char *column = nullptr; /* -column's NAME or N */
	bool pairs = false;	      /* the values are pairs, z1 and z2 */
	char sep = 0;		      /* -sep's: '\t', ',' or ' ' */
	char decimal = '.';	      /* the values' decimal separator, and the columns' */
};

/* A table on standard input (-column): how its rows are cut, which field
 * holds the values, where the header is. */
struct Table {
	bool on = false;
	char sep = 0;		 /* '\t', ',', or ' ' for runs of blanks */
	int count = 1;		 /* the fields read: one, or with -pairs two */
	std::array<std::size_t, 2> field{}; /* which they are, 0 for the first */
	long header_line = 0;	 /* the line where the header row starts, or 0 */
	std::array<std::string, 2> label; /* the fields, for messages: their names, or "field N" */
	std::string names;	 /* appended to the header: the columns' names */
	std::string header;	 /* the header row's text, without its line end */
	bool lone = false;	 /* the first row showed no separator: commas */
	bool row = false;	 /* the input has a row, not only comments and blank lines */
	std::string file;	 /* the file being read, "NAME: " in messages, or "" */
};

/* What every block is computed with. */
struct Setup {
	expansion::Universe u;
	std::vector<columns::Id> columns; /* printed after the input's text */
	bool pairs;			  /* the values are pairs, the columns those of pairs */
	int digits;			  /* significant digits of every number written */
	char decimal;			  /* the decimal separator of values read and numbers written */
	inverse::Problem inverse;	  /* the kernel, and what the values are */
	Table table;
};

static int parse_options(int argc, char *argv[], Options &o);
static bool model_option(Options &o, const char *name, Id id, const char *v);
static bool settle_model(Options &o);
static bool number(const char *text, const char *stop, double *value);
static bool value_of(const char *text, const char *stop, char decimal, double *value);
__attribute__((format(printf, 1, 2))) static int bad_usage(const char *format, ...);
static int default_threads();
static bool choose_columns(Options &o, const char *list);
static int read_header(const Options &o, Table &t, int fd, bool first_input, std::string &prefix, long &line);
static int open_table(const char *name, int *fd);
static bool one_field(const char *l, const char *stop);
static int find_fields(Table &t, bool numbered, char decimal, const char *l, const char *end, long line);
static std::string hint(const Table &t, std::size_t n, const char *l, const char *end);
static bool asked(const std::vector<columns::Id> &list, columns::Id id);
static std::string joined(const std::vector<columns::Id> &list, char sep);
static void compute(stream::Block &b, const void *setup);
/* The tables' files: their names, and the first one's descriptor. */
struct Files {
	char *const *names;
	int count;
	int fd;
};
static int read_tables(const Options &o, Setup &s, stream::Ring &r, const Files &files, std::string &prefix,
		       long first_line, int *read_errno);
static void put(std::string &out, double x, int digits, char decimal);

int
main(int argc, char *argv[])
{
	Options o;

	if (answer("skytable", argc, argv, help))
		return finish("skytable");
	int i = parse_options(argc, argv, o);
	if (i < 0)
		return 1;
	for (int k = i; k < argc && !o.column; k++) {
		double z;
		if (!value_of(argv[k], argv[k] + std::strlen(argv[k]), o.decimal, &z))
			return bad_usage("argument %d: not a number: %s%s", k, shown(argv[k]).text,
					 argv[k][0] == '-' && std::isalpha(static_cast<unsigned char>(argv[k][1]))
						 ? " (options come before the redshifts)"
						 : "");
	}

	if (o.pairs && (o.from != columns::z || o.form))
		return bad_usage("-pairs with %s: pairs take -columns of pairs", o.form ? o.form : "-from");
	if (o.pairs && !o.listed)
		o.columns.assign(1, columns::d_A12), o.listed = true;
	for (columns::Id c : o.columns)
		if ((columns::table[c].use == columns::pair) != o.pairs)
			return bad_usage(o.pairs ? "-pairs: not a column of pairs: %s; those are %s"
						 : "-columns: %s is a column of pairs (%s): give -pairs",
					 columns::table[c].name, columns::names(columns::pair).c_str());
	if (o.pairs && !o.column && (argc - i) % 2)
		return bad_usage("-pairs: %d redshifts, not pairs of them", argc - i);
	if (o.pairs && o.column && !std::strchr(o.column, ','))
		return bad_usage("-pairs with -column: two fields, as in -column z_lens,z_source");
	if (!o.listed) {
		/* The forms: d_L (-simple), the three distances, and -verbose's
		 * times after them; with -from the redshift found first. */
		static const columns::Id all[] = {columns::z, columns::d_L, columns::d_c, columns::d_A,
						  columns::t_age, columns::t_lookback, columns::t_now};
		int first = o.from == columns::z ? 1 : 0;
		int last = !o.form ? 4 : o.form[1] == 'v' ? 7 : 1 + first;
		o.columns.assign(all + first, all + last);
	}
	if (o.sep && !o.column)
		return bad_usage("-sep is the separator of -column's table");
	if (o.decimal == ',' && o.sep == ',')
		return bad_usage("-decimal , with -sep comma: a comma cannot part both the fields and a number's digits");
	/* With -column the operands are the tables' files, standard input
	 * without any. */
	static char stdin_name[] = "-";
	char *const *files = argv + i, *const only_stdin[] = {stdin_name};
	int file_count = argc - i;
	if (o.column && file_count == 0)
		files = only_stdin, file_count = 1;
	Table table;
	std::string prefix; /* what read_header read of the first input */
	long first_line = 1; /* the line prefix starts on */
	int fd = 0;
	/* The header is that of the first file with a row: those before it
	 * hold only comments and blank lines, which pass through. */
	for (int k = 0; o.column; k++) {
		if (i < argc)
			table.file = std::string(shown(files[k]).text) + ": ";
		if (open_table(files[k], &fd) < 0)
			return finish("skytable") | 1;
		int read_errno = read_header(o, table, fd, k == 0, prefix, first_line);
		if (read_errno == -2)
			return finish("skytable") | 1;
		if (read_errno > 0)
			std::fprintf(stderr, "skytable: %sread error: %s\n", table.file.c_str(), std::strerror(read_errno));
		if (read_errno)
			return finish("skytable") | 1;
		if (table.row || k + 1 == file_count) {
			files += k, file_count -= k;
			table.names = joined(o.columns, table.sep);
			break;
		}
		if (fd != 0)
			close(fd);
	}
	if (o.header)
		std::printf("%s%s\n", o.pairs ? "z1\tz2" : columns::table[o.from].name, joined(o.columns, '\t').c_str());

	inverse::Guide guide;
	Setup setup;
	setup.u = expansion::universe(o.model);
	if (columns::grows(o.from) || std::any_of(o.columns.begin(), o.columns.end(), columns::grows)) {
		setup.u.growth = growth::solve(setup.u);
		if (setup.u.growth->dark)
			note("skytable", "%s", growth::dark_note);
	}
	setup.columns = o.columns;
	setup.pairs = o.pairs;
	setup.digits = o.digits;
	setup.decimal = o.decimal;
	setup.table = table;
	/* The lookback time shares the comoving sum's samples and costs little
	 * more; the age has samples of its own. */
	inverse::pose(setup.inverse, o.from, setup.u, &guide,
		      asked(o.columns, columns::t_age) || asked(o.columns, columns::t_now),
		      asked(o.columns, columns::t_lookback));

	stream::Ring r;
	stream::Format format;
	if (table.on)
		format = {table.sep, longest_row, row_too_long};
	/* Each column's separator and number, and the line end; or the
	 * header's names. */
	format.added = std::max(o.columns.size() * 26 + 1, table.names.size() + 1);
	/* Pairs of arguments are lines of two redshifts. */
	std::vector<std::string> joined_pairs;
	std::vector<char *> pair_args;
	for (int k = i; o.pairs && !o.column && k + 1 < argc; k += 2)
		joined_pairs.push_back(std::string(argv[k]) + '\t' + argv[k + 1]);
	pair_args.reserve(joined_pairs.size());
	for (std::string &a : joined_pairs)
		pair_args.push_back(&a[0]);
	int read_errno = 0, status = 0;
	stream::start(r, o.threads ? o.threads : default_threads(), compute, &setup, format);
	if (o.column)
		status = read_tables(o, setup, r, {files, file_count, fd}, prefix, first_line, &read_errno);
	else if (i < argc)
		stream::read_arguments(r, o.pairs ? pair_args.data() : argv + i,
				       o.pairs ? static_cast<int>(pair_args.size()) : argc - i);
	else
		read_errno = stream::read_input(r, 0, prefix, first_line);
	stream::stop(r);
	/* What is written comes before the notes about it. */
	if (!r.write_errno && std::fflush(stdout) != 0)
		r.write_errno = errno;

	/* A lost write is the one failure to report: nothing after it counts. */
	const char *file = setup.table.file.c_str();
	if (r.write_errno) {
		errno = r.write_errno;
		status = 0;
	} else if (r.bad_line) {
		std::fprintf(stderr, "skytable: %sline %ld: %s\n", file, r.bad_line, r.bad_text.c_str());
		status = 1;
	} else if (read_errno) {
		std::fprintf(stderr, "skytable: %sread error: %s\n", file, std::strerror(read_errno));
		status = 1;
	}
	if (r.empty && !r.write_errno)
		note("skytable", "%ld row%s had no %s; %s columns are nan", r.empty, r.empty == 1 ? "" : "s",
		     (table.label[0] + (o.pairs ? " or " + table.label[1] : "")).c_str(), r.empty == 1 ? "its" : "their");
	if (r.negative && !r.write_errno)
		note("skytable", "%ld %s had a negative redshift; %s distances are 0, the rest nan", r.negative,
		     table.on ? (r.negative == 1 ? "row" : "rows") : (r.negative == 1 ? "line" : "lines"),
		     r.negative == 1 ? "its" : "their");
	if (table.lone && !r.write_errno && !status)
		note("skytable", "the table's first row shows no separator: the columns follow %s (-sep to choose)",
		     table.sep == ',' ? "commas" : "semicolons");
	if (r.reversed && !r.write_errno)
		note("skytable", "%ld pair%s had z1 above z2; %s columns are nan", r.reversed, r.reversed == 1 ? "" : "s",
		     r.reversed == 1 ? "its" : "their");
	return finish("skytable") | status;
}

/* Reads the options into o, up to the first argument that is not one (a
 * lone - is standard input, not an option), or after --.  Returns the
 * index of the first value, or -1 after saying on standard error what was
 * wrong. */
static int
parse_options(int argc, char *argv[], Options &o)
{
	int i;
	for (i = 1; i < argc && argv[i][0] == '-' && argv[i][1]; i++) {
		const char *name = argv[i];
		if (!std::strcmp(name, "--")) {
			i++;
			break;
		}
		const Option *op = nullptr;
		for (const Option &c : options)
			if (!std::strcmp(name, c.name))
				op = &c;
		double x;
		if (!op && number(name, name + std::strlen(name), &x))
			return bad_usage("unknown option: %s; a negative value goes after --, as in skytable -- %s",
					 shown(name).text, shown(name).text), -1;
		if (!op)
			return bad_usage("unknown option: %s", shown(name).text), -1;
		if (op->id < hubble) {
			o.given[op->id] = true;
			if (op->id == exact)
				o.model.exact = true;
			else if (op->id == flat)
				o.model.flat = true;
			else if (op->id == pairs)
				o.pairs = true;
			else if (op->id == header)
				o.header = true;
			else
				o.form = op->name;
			if (o.header && o.column)
				return bad_usage("-header with -column: the table's header row gets the columns' names"), -1;
			if (o.form && o.listed)
				return bad_usage("-columns with %s: which of them wins is not defined", o.form), -1;
			continue;
		}
		if (i + 1 == argc)
			return bad_usage("%s needs a value", name), -1;
		const char *v = argv[++i];
		if (op->id == from) {
			const columns::Column *c = columns::named(v, std::strlen(v));
			if (!std::strcmp(v, "d_A"))
				return bad_usage("-from d_A: %s", columns::two_redshifts), -1;
			if (!c || c->use != columns::invertible)
				return bad_usage("-from: not one of %s: %s", columns::names(columns::invertible).c_str(), shown(v).text), -1;
			o.from = c->id;
			continue;
		}
		if (op->id == column) {
			o.column = v;
			if (o.header)
				return bad_usage("-header with -column: the table's header row gets the columns' names"), -1;
			if (!*v)
				return bad_usage("-column: no field named"), -1;
			if (std::strspn(v, "0") == std::strlen(v))
				return bad_usage("-column: fields are numbered from 1: %s", shown(v).text), -1;
			continue;
		}
		if (op->id == sep) {
			/* A word, or any one character but a quote or a line end. */
			o.sep = !std::strcmp(v, "tab")				    ? '\t'
				: !std::strcmp(v, "comma")			    ? ','
				: !std::strcmp(v, "space")			    ? ' '
				: std::strlen(v) == 1 && !std::strchr("\"\n\r", v[0]) ? v[0]
											    : '\0';
			if (!o.sep)
				return bad_usage("-sep: not tab, comma, space or one character: %s", shown(v).text), -1;
			continue;
		}
		if (op->id == decimal) {
			o.decimal = !std::strcmp(v, ",") ? ',' : !std::strcmp(v, ".") ? '.' : '\0';
			if (!o.decimal)
				return bad_usage("-decimal: not . or ,: %s", shown(v).text), -1;
			continue;
		}
		if (op->id == listed) {
			if (o.form)
				return bad_usage("-columns with %s: which of them wins is not defined", o.form), -1;
			if (!choose_columns(o, v))
				return -1;
			continue;
		}
		if (op->id >= hubble && op->id <= cosmology) {
			if (!model_option(o, name, op->id, v))
				return -1;
			continue;
		}
		if (!number(v, v + std::strlen(v), &x))
			return bad_usage("%s: not a number: %s", name, shown(v).text), -1;
		int most = op->id == threads ? stream::max_threads : 17;
		if (x != std::floor(x) || x < 1 || x > most)
			return bad_usage("%s: not a count from 1 to %d: %s", name, most, shown(v).text), -1;
		(op->id == threads ? o.threads : o.digits) = static_cast<int>(x);
	}
	return settle_model(o) ? i : -1;
}

/* Reads the value v of the model's option name into o.model; false
 * after saying what was wrong. */
static bool
model_option(Options &o, const char *name, Id id, const char *v)
{
	using expansion::Model;
	using expansion::Parameter;
	o.given[id] = true;
	if (id == cosmology) {
		o.named = named::find(v);
		if (!o.named)
			return !bad_usage("-cosmology: not one of %s: %s", named::names().c_str(), shown(v).text);
		return true;
	}
	if (id == neutrinos) {
		if (std::strcmp(v, "exact") != 0 && std::strcmp(v, "fit") != 0)
			return !bad_usage("-neutrinos: not exact or fit: %s", shown(v).text);
		o.model.fit = !std::strcmp(v, "fit");
		return true;
	}
	if (id == mnu) {
		o.model.masses.clear();
		for (const char *p = v;; p++) {
			std::size_t len = std::strcspn(p, ",");
			std::string text(p, len);
			double m;
			if (!number(text.c_str(), text.c_str() + len, &m))
				return !bad_usage("-mnu: not a number: \"%s\"", shown(p, len).text);
			if (const char *why = expansion::unfit(expansion::mass_p, m))
				return !bad_usage("-mnu: %s: %s", why, shown(p, len).text);
			o.model.masses.push_back(m);
			p += len;
			if (!*p)
				return true;
		}
	}
	double x;
	if (!number(v, v + std::strlen(v), &x))
		return !bad_usage("%s: not a number: %s", name, shown(v).text);
	static const struct {
		Id id;
		Parameter p;
		double Model::*field;
	} fields[] = {{hubble, expansion::H0_p, &Model::H0},	  {matter, expansion::Omega_M_p, &Model::Omega_M},
		      {vacuum, expansion::Lambda0_p, &Model::Lambda0}, {radiation, expansion::radiation_p, &Model::radiation},
		      {w0, expansion::w0_p, &Model::w0},		  {wa, expansion::wa_p, &Model::wa},
		      {tcmb, expansion::tcmb_p, &Model::tcmb},	  {neff, expansion::neff_p, &Model::neff},
		      {sigma8, expansion::sigma8_p, &Model::sigma8}};
	for (const auto &f : fields)
		if (f.id == id) {
			if (const char *why = expansion::unfit(f.p, x))
				return !bad_usage("%s: %s: %s", name, why, shown(v).text);
			o.model.*f.field = x;
		}
	return true;
}

/* The model from the options: -cosmology's set, with the options given
 * over it; false after saying which options do not go together. */
static bool
settle_model(Options &o)
{
	using expansion::Model;
	using expansion::Parameter;
	const bool *g = o.given;
	bool temperature = g[tcmb] || o.named;
	if (g[radiation] && temperature)
		return !bad_usage(o.named && !g[tcmb] ? "-radiation with -cosmology %s: its photons follow its CMB temperature"
						      : "-radiation with -tcmb: the photons follow the CMB temperature%s",
				  o.named && !g[tcmb] ? o.named->name : "");
	for (Id id : {neff, mnu, neutrinos})
		if (g[id] && !temperature)
			return !bad_usage("-%s needs -tcmb: the neutrinos follow the CMB temperature",
					  id == neff ? "neff" : id == mnu ? "mnu" : "neutrinos");
	if (g[flat] && g[vacuum])
		return !bad_usage("-lambda with -flat: the vacuum closes the budget");
	if (o.named) {
		Model m = named::model(*o.named), &given = o.model;
		m.exact = given.exact, m.fit = given.fit, m.w0 = given.w0, m.wa = given.wa, m.sigma8 = given.sigma8;
		if (g[hubble])
			m.H0 = given.H0;
		if (g[matter])
			m.Omega_M = given.Omega_M;
		if (g[vacuum])
			m.Lambda0 = given.Lambda0, m.flat = false;
		if (g[tcmb])
			m.tcmb = given.tcmb;
		if (g[neff])
			m.neff = given.neff;
		if (g[mnu])
			m.masses = given.masses;
		o.model = m;
	}
	std::string why = expansion::unfit_masses(o.model);
	if (!why.empty())
		return !bad_usage("-mnu: %s", why.c_str());
	why = expansion::swamped(expansion::content(o.model));
	if (!why.empty())
		return !bad_usage("%s", why.c_str());
	if (asked(o.columns, columns::fsigma8) && !g[sigma8])
		return !bad_usage("-columns fsigma8 needs -sigma8, the amplitude it scales");
	return true;
}

/*
 * Reads fd up to its table's first row, which is neither blank nor a
 * comment: the header with -column NAME; with -column N, the header where
 * the field is not a number, else the first row.  Comments and blank lines
 * before it are written as they come, however long, and a byte order mark
 * at the start of the first input (the one t sees first) too.  The
 * separator is -sep's, or the one the row's first line shows, a comma for
 * a row that shows none.  Sets t, and keeps in prefix what was read from
 * the row on, to be read again as line line on.  first_input says whether
 * the input is the first of the run.  Returns 0, the errno of a
 * failed read, -1 after saying what is wrong, or -2 when a write failed.
 */
static int
read_header(const Options &o, Table &t, int fd, bool first_input, std::string &prefix, long &line)
{
	char buf[1 << 16];
	bool eof = false, start = true;
	/* A line being written as it comes: a comment, or a run of blanks too
	 * long to be held, which a '#' may still make a comment. */
	enum { none, comment, blanks } copying = none;
	line = 1;
	t.on = true;
	t.row = false;
	const char *c = o.column;
	/* With -pairs, two fields, separated by a comma. */
	std::size_t cut = o.pairs ? std::strcspn(c, ",") : std::strlen(c);
	std::string names[2] = {std::string(c, cut), o.pairs ? std::string(c + cut + 1) : ""};
	t.count = o.pairs ? 2 : 1;
	bool numbered = true;
	for (int k = 0; k < t.count; k++)
		numbered = numbered && !names[k].empty() && names[k].find_first_not_of("0123456789") == std::string::npos;
	for (int k = 0; k < t.count; k++) {
		t.label[k] = numbered ? "field " + names[k] : names[k];
		if (numbered)
			t.field[k] = std::strtoul(names[k].c_str(), nullptr, 10) - 1;
	}
	auto too_long = [&] {
		std::fprintf(stderr, "skytable: %sline %ld: %s\n", t.file.c_str(), line, row_too_long);
		return -1;
	};
	/* Writes the first n bytes of prefix and drops them; a line end
	 * among them ends the line.  False after saying that stdout failed. */
	auto pass = [&](std::size_t n) {
		if (std::fwrite(prefix.data(), 1, n, stdout) != n)
			return false;
		if (n > 0 && prefix[n - 1] == '\n')
			copying = none, line++;
		prefix.erase(0, n);
		return true;
	};
	static const char bom[] = "\xef\xbb\xbf";
	for (;;) {
		if (start && (prefix.size() >= 3 || eof)) {
			/* A byte order mark: kept in the output, once. */
			start = false;
			if (prefix.compare(0, 3, bom) == 0 && !(first_input ? pass(3) : (prefix.erase(0, 3), true)))
				return -2;
		}
		std::size_t nl = prefix.find('\n'), stop = std::min(nl, prefix.size());
		std::size_t k = std::min(prefix.find_first_not_of(" \t\r"), stop);
		/* A last '\r' may be a CRLF's, which does not count. */
		std::size_t size = prefix.size() - (!prefix.empty() && prefix.back() == '\r');
		bool ok = true, more = start; /* three bytes first, for a byte order mark */
		if (start) {
		} else if (copying == blanks && k < stop) {
			/* The run ends: in a comment, or in a row too long. */
			if (!pass(k))
				return -2;
			if (prefix[0] != '#')
				return too_long();
			copying = comment;
			continue;
		} else if (copying == none && k > longest_row) {
			/* Too many blanks to hold: written as they come, as the
			 * rows' reader writes them. */
			if (!pass(k))
				return -2;
			copying = blanks;
			continue;
		} else if (copying != none || (k < stop && prefix[k] == '#') || (k == stop && nl < prefix.size())) {
			/* A comment, or a blank line: through its end, or all there is. */
			if (copying == none && k < stop)
				copying = comment;
			ok = ok && pass(nl < prefix.size() ? nl + 1 : prefix.size());
			more = prefix.empty();
		} else if (k == stop && !eof) {
			/* Blanks so far: held, unless there are too many. */
			if (size > longest_row)
				ok = pass(prefix.size()), copying = blanks;
			more = true;
		} else if (k == stop) {
			/* No row at all: an unended line ends, as every line does. */
			t.sep = o.sep ? o.sep : ',';
			bool unended = !prefix.empty();
			return pass(prefix.size()) && (!unended || std::fputc('\n', stdout) != EOF) ? 0 : -2;
		} else if (nl == std::string::npos && !eof && size <= longest_row) {
			more = true; /* the row's first line, to see its separator */
		} else {
			const char *l = prefix.data(), *end = l + prefix.size();
			t.sep = o.sep ? o.sep : fields::guess(l, l + stop);
			/* A decimal comma separates no fields. */
			if (!o.sep && t.sep == ',' && o.decimal == ',')
				t.sep = ' ';
			/* A row of one field shows no separator: commas, and a note. */
			if (!o.sep && t.sep == ' ' && one_field(l + k, l + stop))
				t.sep = o.decimal == ',' ? ';' : ',', t.lone = true;
			const char *row_end = fields::record_end(l, end, t.sep);
			bool whole = row_end < end || eof;
			if (row_end > l && row_end[-1] == '\r')
				row_end--;
			t.row = true;
			if (std::size_t(row_end - l) > longest_row)
				return numbered ? 0 : too_long(); /* the rows' reader refuses it */
			if (whole)
				return find_fields(t, numbered, o.decimal, l, row_end, line);
			more = true;
		}
		if (!ok)
			return -2;
		if (!more)
			continue;
		if (eof) {
			/* An unended comment ends. */
			t.sep = o.sep ? o.sep : ',';
			return copying == none || std::fputc('\n', stdout) != EOF ? 0 : -2;
		}
		pollfd in = {fd, POLLIN, 0};
		if (poll(&in, 1, 0) == 0 && std::fflush(stdout) != 0)
			return -2;
		ssize_t n = read(fd, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return errno;
		eof = n == 0;
		prefix.append(buf, n);
	}
}

/* The header row [l, end) on line line, its text kept: which of its
 * fields are those t.label names, in t.field, the first of a name where
 * it comes twice; -1 after saying a name is not there.  With numbered
 * fields, the row is a header only where a field it has is not a number
 * with the decimal separator given. */
static int
find_fields(Table &t, bool numbered, char decimal, const char *l, const char *end, long line)
{
	std::string names;
	bool found[2] = {false, false}, header = !numbered;
	std::size_t n = 0;
	fields::split(l, end, t.sep, [&](const std::string &f) {
		std::size_t a = f.find_first_not_of(' '), z = f.find_last_not_of(' ');
		double x;
		for (int k = 0; k < t.count; k++) {
			if (!numbered && !found[k] && a != std::string::npos && f.compare(a, z - a + 1, t.label[k]) == 0)
				found[k] = true, t.field[k] = n;
			if (numbered && n == t.field[k] && a != std::string::npos &&
			    !value_of(f.c_str(), f.c_str() + f.size(), decimal, &x))
				header = true;
		}
		names.append(n ? ", " : "").append(f.empty() ? "\"\"" : shown(f.data(), f.size()).text);
		n++;
		return true;
	});
	if (!header)
		return 0;
	t.header_line = line;
	t.header.assign(l, end);
	for (int k = 0; k < t.count && !numbered; k++)
		if (!found[k]) {
			std::fprintf(stderr, "skytable: %s-column %s: the header has no such field; its fields are %s%s\n",
				     t.file.c_str(), shown(t.label[k].c_str()).text, names.c_str(),
				     hint(t, n, l, end).c_str());
			return -1;
		}
	return 0;
}

/* What a user whose field was not found in the header row [l, end) of n
 * fields most likely meant: two fields, which need -pairs, or a separator
 * the row shows but was not cut at. */
static std::string
hint(const Table &t, std::size_t n, const char *l, const char *end)
{
	if (t.count == 1 && t.label[0].find(',') != std::string::npos)
		return "; two fields are a pair of redshifts: give -pairs";
	const char *c = n == 1 ? std::find_first_of(l, end, ";\t|", ";\t|" + 3) : end;
	if (c == end)
		return "";
	std::string sep = *c == '\t' ? "tab" : "'" + std::string(1, *c) + "'";
	return "; the row shows " + sep + ": give -sep " + sep;
}

/*
 * The tables of -column through the ring: the first from fd, its header
 * read into prefix already, then the other files in turn, each of whose
 * header must be the first's and is not written again.  The ring is
 * started and left to be stopped.  Returns 1 after saying that a file
 * failed, else 0; a bad row, a failed write or read end the run as well,
 * said by the caller.
 */
static int
read_tables(const Options &o, Setup &s, stream::Ring &r, const Files &files, std::string &prefix, long first_line,
	    int *read_errno)
{
	int fd = files.fd;
	char *const *names = files.names;
	int count = files.count;
	for (int k = 0; k < count && !r.failed; k++) {
		if (k > 0) {
			Table t = s.table;
			t.file = std::string(shown(names[k]).text) + ": ";
			t.header.clear(), t.header_line = 0;
			prefix.clear();
			std::fflush(stdout);
			if (open_table(names[k], &fd) < 0)
				return 1;
			int status = read_header(o, t, fd, false, prefix, first_line);
			if (status == -2) {
				r.failed = true, r.write_errno = errno;
				return 0;
			}
			if (status != 0) {
				if (status > 0)
					std::fprintf(stderr, "skytable: %sread error: %s\n", t.file.c_str(), std::strerror(status));
				close(fd);
				return 1;
			}
			/* A file of comments and blank lines has passed through whole. */
			if (!t.row) {
				if (fd != 0)
					close(fd);
				continue;
			}
			if (t.header != s.table.header) {
				std::fprintf(stderr, "skytable: %sits header is not that of %s\n", t.file.c_str(),
					     shown(names[0]).text);
				close(fd);
				return 1;
			}
			/* The header row is the first's: it is not written again. */
			if (t.header_line) {
				std::size_t row = fields::record_end(prefix.data(), prefix.data() + prefix.size(), t.sep) -
						  prefix.data();
				first_line += 1 + std::count(prefix.data(), prefix.data() + row, '\n');
				prefix.erase(0, std::min(row + 1, prefix.size()));
			}
			s.table.file = t.file;
			s.table.header_line = 0;
		}
		*read_errno = stream::read_input(r, fd, prefix, first_line);
		if (fd != 0)
			close(fd);
		if (*read_errno)
			return 0;
	}
	return 0;
}

/* Whether the line [l, stop), which starts with no blank, is one field:
 * no blank between its first byte and its last that is not blank. */
static bool
one_field(const char *l, const char *stop)
{
	while (stop > l && stream::blank(stop[-1]))
		stop--;
	return std::find_if(l, stop, stream::blank) == stop;
}

/* Opens a table's file, "-" for standard input, into *fd; 0, or -1 after
 * saying it cannot be. */
static int
open_table(const char *name, int *fd)
{
	*fd = std::strcmp(name, "-") ? open(name, O_RDONLY | O_CLOEXEC) : 0;
	if (*fd >= 0)
		return 0;
	std::fprintf(stderr, "skytable: %s: cannot open: %s\n", shown(name).text, std::strerror(errno));
	return -1;
}

/* One thread per processor this process may run on, within the ring's limit. */
static int
default_threads()
{
	cpu_set_t cpus;
	int n = sched_getaffinity(0, sizeof cpus, &cpus) ? 1 : CPU_COUNT(&cpus);
	return n < 1 ? 1 : n > stream::max_threads ? stream::max_threads : n;
}

/* Reads -columns' comma-separated list into o; false after saying what
 * was wrong. */
static bool
choose_columns(Options &o, const char *list)
{
	o.listed = true;
	o.columns.clear();
	for (const char *p = list;; p++) {
		std::size_t len = std::strcspn(p, ",");
		const columns::Column *c = columns::named(p, len);
		if (!c) {
			bad_usage("-columns: not a column: \"%s\"; the columns are %s", shown(p, len).text,
				  columns::names().c_str());
			return false;
		}
		o.columns.push_back(c->id);
		p += len;
		if (!*p)
			return true;
	}
}

static bool
asked(const std::vector<columns::Id> &list, columns::Id id)
{
	return std::find(list.begin(), list.end(), id) != list.end();
}

/* The columns' names, each after sep. */
static std::string
joined(const std::vector<columns::Id> &list, char sep)
{
	std::string names;
	for (columns::Id c : list)
		names.append(1, sep).append(columns::table[c].name);
	return names;
}

/* Whether the text up to stop, with blanks around it allowed, is one whole
 * number.  *stop is a newline or the terminating zero, where strtod stops.
 * from_chars reads the same decimal numbers to the same doubles, faster;
 * strtod reads what it does not (a sign '+', hexadecimal, out of range). */
static bool
number(const char *text, const char *stop, double *value)
{
	while (text < stop && stream::blank(*text))
		text++;
	/* strtod would skip other white space (a form feed, a newline) itself. */
	if (text == stop || std::strchr(" \t\n\v\f\r", *text))
		return false;
	const char *end = nullptr;
#ifdef __cpp_lib_to_chars
	auto read = std::from_chars(text, stop, *value);
	if (read.ec == std::errc() && (read.ptr == stop || stream::blank(*read.ptr)))
		end = read.ptr;
#endif
	if (!end) {
		char *e;
		*value = std::strtod(text, &e);
		end = e;
	}
	if (end == text)
		return false;
	while (end < stop && stream::blank(*end))
		end++;
	return end == stop;
}

/* Whether the text up to stop is one whole number whose decimal separator
 * is decimal: with a comma, the text is read with a point in its place,
 * and a point in it is no number's. */
static bool
value_of(const char *text, const char *stop, char decimal, double *value)
{
	if (decimal == '.')
		return number(text, stop, value);
	std::string t(text, stop);
	if (t.find('.') != std::string::npos)
		return false;
	std::replace(t.begin(), t.end(), ',', '.');
	return number(t.c_str(), t.c_str() + t.size(), value);
}

static int
bad_usage(const char *format, ...)
{
	std::va_list args;
	va_start(args, format);
	std::fputs("skytable: ", stderr);
	std::vfprintf(stderr, format, args);
	std::fprintf(stderr, "\n%s", usage);
	va_end(args);
	return 1;
}
/* A record of a block as it is written: text, then the header's names or
 * the row's columns, then rest (a \r that ended it), then a newline. */
struct Record {
	const char *text, *text_end, *rest_end;
	enum Kind { passed, header, row } kind;
};

/* What a block's records are, and the values of its rows and their lines;
 * a bad row is recorded in b, and ends the records before it. */
struct Parsed {
	std::vector<Record> records;
	std::vector<double> values;
	std::vector<long> lines;
};

static void lines_of(stream::Block &b, Parsed &p, bool pairs, char decimal);
static void rows_of(stream::Block &b, const Table &t, char decimal, Parsed &p);
static void solve(const Setup &s, const Parsed &p, std::vector<double> &zs, std::vector<expansion::Depth> &d);

/* Parses a block's records, computes the numbers and formats what it prints:
 * for a redshift its distances (and times); for another quantity's value
 * the redshift at which it is reached, then that redshift's numbers.  A
 * record that is bad ends the block's output before it. */
static void
compute(stream::Block &b, const void *setup)
{
	const Setup &s = *static_cast<const Setup *>(setup);
	/* Each thread keeps its room from block to block. */
	thread_local Parsed p;
	thread_local std::vector<double> zs;
	thread_local std::vector<expansion::Depth> d;
	p.records.clear(), p.values.clear(), p.lines.clear();
	if (s.table.on)
		rows_of(b, s.table, s.decimal, p);
	else
		lines_of(b, p, s.pairs, s.decimal);
	solve(s, p, zs, d);

	char sep = s.table.on ? s.table.sep : '\t';
	std::size_t n = 0;
	for (const Record &r : p.records) {
		b.out.append(r.text, r.text_end);
		if (r.kind == Record::header)
			b.out.append(s.table.names);
		for (std::size_t c = 0; r.kind == Record::row && c < s.columns.size(); c++) {
			b.out.push_back(sep);
			put(b.out,
			    s.pairs ? columns::pair_value(s.columns[c], zs[n], zs[n + 1], s.u, d[n], d[n + 1])
				    : columns::value(s.columns[c], zs[n], s.u, d[n]),
			    s.digits, s.decimal);
		}
		if (r.kind == Record::row && s.pairs)
			b.reversed += zs[n] > zs[n + 1];
		if (r.kind == Record::row && s.inverse.quantity == columns::z)
			b.negative += zs[n] < 0 || (s.pairs && zs[n + 1] < 0);
		n += r.kind == Record::row ? 1 + s.pairs : 0;
		b.out.append(r.text_end, r.rest_end).push_back('\n');
	}
}

/* The lines of a block: each holds a number, or with pairs two separated
 * by blanks, with blanks around allowed and left out of the text written,
 * or is blank or a comment. */
static void
lines_of(stream::Block &b, Parsed &p, bool pairs, char decimal)
{
	const char *end = b.in.data() + b.in.size();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		auto nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
		stop = nl ? nl : end;
		std::size_t k = std::strspn(l, " \t\r");
		double x;
		if (l + k == stop || l[k] == '#') {
			p.records.push_back({l, stop, stop, Record::passed});
			continue;
		}
		/* The second of a pair starts after the first's blanks. */
		const char *cut = l + k;
		while (pairs && cut < stop && !stream::blank(*cut))
			cut++;
		double y = 0;
		if (!value_of(l, pairs ? cut : stop, decimal, &x) || (pairs && !value_of(cut, stop, decimal, &y))) {
			b.bad_line = line;
			b.bad_text = std::string(pairs ? "not a pair of numbers: " : "not a number: ") +
				     shown(l + k, stop - l - k).text;
			return;
		}
		const char *last = stop;
		while (stream::blank(last[-1]))
			last--;
		p.records.push_back({l + k, last, last, Record::row});
		p.values.push_back(x);
		p.lines.push_back(line);
		if (pairs)
			p.values.push_back(y), p.lines.push_back(line);
	}
}

/* The rows of a block of a table: each row's chosen field is its value,
 * and the row is written whole, then the columns, each after the table's
 * separator, then \r where it ended in \r\n; the header row gets the
 * columns' names.  An empty field gives nan in every column and is
 * counted. */
static void
rows_of(stream::Block &b, const Table &t, char decimal, Parsed &p)
{
	const char *end = b.in.data() + b.in.size();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1) {
		stop = fields::record_end(l, end, t.sep);
		long first = line;
		line += 1 + std::count(l, stop, '\n');
		const char *text_end = stop > l && stop[-1] == '\r' ? stop - 1 : stop;
		std::size_t k = std::strspn(l, " \t\r");
		if (l + k == stop || l[k] == '#') {
			p.records.push_back({l, stop, stop, Record::passed});
			continue;
		}
		if (first == t.header_line) {
			p.records.push_back({l, text_end, stop, Record::header});
			continue;
		}
		std::string f[2], bad;
		bool found[2] = {false, false};
		std::size_t n = 0, last = std::max(t.field[0], t.count == 2 ? t.field[1] : 0);
		n = fields::split(l, text_end, t.sep, [&](const std::string &field) {
			for (int k = 0; k < t.count; k++)
				if (n == t.field[k])
					f[k] = field, found[k] = true;
			return n++ < last;
		});
		double x[2] = {NAN, NAN};
		bool empty = false;
		for (int k = 0; k < t.count && bad.empty(); k++) {
			std::size_t a = f[k].find_first_not_of(" \t");
			if (!found[k])
				bad = "no " + t.label[k] + ": the row has " + std::to_string(n) + (n == 1 ? " field" : " fields");
			else if (a == std::string::npos)
				empty = true;
			else if (!value_of(f[k].c_str(), f[k].c_str() + f[k].size(), decimal, &x[k]))
				bad = t.label[k] + ": not a number: " + shown(f[k].data() + a, f[k].size() - a).text;
		}
		if (!bad.empty()) {
			b.bad_line = first, b.bad_text = bad;
			return;
		}
		b.empty += empty;
		p.records.push_back({l, text_end, stop, Record::row});
		for (int k = 0; k < t.count; k++)
			p.values.push_back(x[k]), p.lines.push_back(first);
	}
}

/* The redshifts of the rows' values (given, or found by -from) in zs, and
 * the depths at them. */
static void
solve(const Setup &s, const Parsed &p, std::vector<double> &zs, std::vector<expansion::Depth> &d)
{
	std::size_t count = p.values.size();
	zs.resize(count);
	d.resize(count);
	if (s.inverse.quantity == columns::z) {
		expansion::depths(s.inverse.kernel, s.u, p.values.data(), count, d.data());
		zs = p.values;
	} else {
		inverse::solve(s.inverse, p.values.data(), p.lines.data(), count, zs.data(), d.data());
	}
}

/* x as %g prints it with that many significant digits, its decimal
 * point the decimal separator given. */
static void
put(std::string &out, double x, int digits, char decimal)
{
	char buf[32], *end = general::write(buf, buf + sizeof buf, x, digits);
	if (decimal != '.')
		std::replace(buf, end, '.', decimal);
	out.append(buf, end);
}
