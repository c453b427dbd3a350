/*
 * skytable's options: read from the argument vector into what the run
 * asks for, each checked as it is read, then settled together (the model
 * a published set and the options over it make, the columns, the
 * operands).  What is wrong is said on standard error, with the usage,
 * before anything is written.
 */
#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "columns.h"
#include "lists.h"
#include "named.h"
#include "notes.h"
#include "numbers.h"
#include "parameters.h"
#include "stream.h"

namespace options {

const char usage[] =
	"usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] [-lambda Lambda0] "
	"[-radiation R] [-w0 W0] [-wa WA] [-tcmb T] [-neff N] [-mnu LIST] [-neutrinos exact|fit] "
	"[-flat] [-cosmology NAME] [-sigma8 S] [-omegab Omega_b] [-yhe Y] [-rd R|fit] [-exact] [-ruler] "
	"[-columns LIST] [-header] [-pairs] [-column NAME|N] [-zhel [NAME|N]] [-ra NAME|N -dec NAME|N] [-vpec NAME|N] "
	"[-sep tab|comma|space|C] [-decimal .|,] [-from Q] [-digits N] [-threads N] [value ...]\n";

/* skytable's own options, beside the model's (parameters.h): the flags,
 * -zhel (which names a field of -column's table, else is a flag), then
 * those that take the next argument as their value. */
enum Id { simple, verbose, header, pairs, ruler, zhel, from, digits, threads, listed, column, sep, decimal, ra, dec, vpec };
const struct Own {
	const char *name;
	Id id;
} own[] = {
	{"-simple", simple}, {"-verbose", verbose}, {"-header", header}, {"-pairs", pairs},     {"-ruler", ruler},
	{"-zhel", zhel},     {"-from", from},	    {"-digits", digits}, {"-threads", threads}, {"-columns", listed},
	{"-column", column}, {"-sep", sep},	    {"-decimal", decimal}, {"-ra", ra},		{"-dec", dec},
	{"-vpec", vpec},
};

/* What the options ask for. */
struct Options {
	expansion::Model model;
	bool given[parameters::count] = {};	 /* which of the model's options were given */
	const named::Cosmology *named = nullptr; /* -cosmology's */
	const char *form = nullptr;		 /* -simple or -verbose, where given */
	std::vector<columns::Id> columns;
	bool listed = false; /* whether -columns gave them */
	bool header = false;
	bool ruler = false; /* the universe's numbers: z_*, r_*, theta_*, z_drag, r_drag, z_eq */
	int threads = 0;    /* 0: one per processor */
	int digits = 6;
	columns::Id from = columns::z;
	const char *column = nullptr; /* -column's NAME or N */
	bool pairs = false;	      /* the values are pairs, z1 and z2 */
	char sep = 0;		      /* -sep's: '\t', ',' or ' ' */
	char decimal = '.';	      /* the values' decimal separator, and the columns' */
	bool observed = false;	      /* -zhel: each value has its observed redshift beside it */
	const char *zhel = nullptr;   /* -zhel's NAME or N, in -column's table */
	const char *ra = nullptr, *dec = nullptr, *vpec = nullptr; /* the position's and the velocity's */
};

/* Says on standard error what is wrong, then the usage; returns 1. */
__attribute__((format(printf, 1, 2))) inline int
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

/* Reads the value v of the model's option name, of parameter p, into o;
 * false after saying what was wrong. */
inline bool
model_option(Options &o, const parameters::Parameter &p, const char *name, const char *v)
{
	o.given[p.id] = true;
	double x;
	switch (p.form) {
	case parameters::named:
		o.named = named::find(v);
		return o.named || !bad_usage("-cosmology: not one of %s: %s", named::names().c_str(), shown(v).text);
	case parameters::choice: {
		std::size_t bar = std::strcspn(p.value, "|");
		bool second = !std::strcmp(v, p.value + bar + 1);
		if (!second && (std::strlen(v) != bar || std::strncmp(v, p.value, bar) != 0))
			return !bad_usage("%s: not %.*s or %s: %s", name, static_cast<int>(bar), p.value, p.value + bar + 1,
					  shown(v).text);
		o.model.*p.field.flag = second;
		return true;
	}
	case parameters::masses:
		(o.model.*p.field.list).clear();
		return each_item(v, [&](const char *item, std::size_t len) {
			std::string text(item, len);
			if (!numbers::number(text.c_str(), text.c_str() + len, &x))
				return !bad_usage("%s: not a number: \"%s\"", name, shown(item, len).text);
			if (const char *why = parameters::unfit(p.bound, x))
				return !bad_usage("%s: %s: %s", name, why, shown(item, len).text);
			(o.model.*p.field.list).push_back(x);
			return true;
		});
	default:
		if (p.form == parameters::number_or_word && !std::strcmp(v, std::strchr(p.value, '|') + 1)) {
			o.model.*p.field.flag = true;
			return true;
		}
		if (!numbers::number(v, v + std::strlen(v), &x))
			return !bad_usage("%s: not a number%s: %s", name, p.form == parameters::number_or_word ? " or fit" : "",
					  shown(v).text);
		if (const char *why = parameters::unfit(p.bound, x))
			return !bad_usage("%s: %s: %s", name, why, shown(v).text);
		o.model.*p.field.number = x;
		return true;
	}
}

/* Reads -columns' comma-separated list into o; false after saying what
 * was wrong. */
inline bool
choose_columns(Options &o, const char *list)
{
	o.listed = true;
	o.columns.clear();
	return each_item(list, [&](const char *name, std::size_t len) {
		const columns::Column *c = columns::named(name, len);
		if (!c)
			return !bad_usage("-columns: not a column: \"%s\"; the columns are %s", shown(name, len).text,
					  columns::names().c_str());
		o.columns.push_back(c->id);
		return true;
	});
}

/* Reads the value v of skytable's own option name into o; false after
 * saying what was wrong. */
inline bool
own_option(Options &o, Id id, const char *name, const char *v)
{
	const columns::Column *c = columns::named(v, std::strlen(v));
	double x;
	switch (id) {
	case from:
		if (!std::strcmp(v, "d_A"))
			return !bad_usage("-from d_A: %s", columns::two_redshifts);
		if (!c || c->use != columns::invertible)
			return !bad_usage("-from: not one of %s: %s", columns::names(columns::invertible).c_str(), shown(v).text);
		o.from = c->id;
		return true;
	case column:
		o.column = v;
		if (o.header)
			return !bad_usage("-header with -column: the table's header row gets the columns' names");
		if (!*v)
			return !bad_usage("-column: no field named");
		return std::strspn(v, "0") != std::strlen(v) || !bad_usage("-column: fields are numbered from 1: %s", shown(v).text);
	case sep:
		/* A word, or any one character but a quote or a line end. */
		o.sep = !std::strcmp(v, "tab") ? '\t' : !std::strcmp(v, "comma") ? ',' : !std::strcmp(v, "space") ? ' '
			: std::strlen(v) == 1 && !std::strchr("\"\n\r", v[0])				    ? v[0]
													    : '\0';
		return o.sep || !bad_usage("-sep: not tab, comma, space or one character: %s", shown(v).text);
	case decimal:
		o.decimal = !std::strcmp(v, ",") ? ',' : !std::strcmp(v, ".") ? '.' : '\0';
		return o.decimal || !bad_usage("-decimal: not . or ,: %s", shown(v).text);
	case zhel:
	case ra:
	case dec:
	case vpec:
		(id == zhel ? o.zhel : id == ra ? o.ra : id == dec ? o.dec : o.vpec) = v;
		o.observed = o.observed || id == zhel;
		if (!*v)
			return !bad_usage("%s: no field named", name);
		return std::strspn(v, "0") != std::strlen(v) || !bad_usage("%s: fields are numbered from 1: %s", name, shown(v).text);
	case listed:
		if (o.form)
			return !bad_usage("-columns with %s: which of them wins is not defined", o.form);
		return choose_columns(o, v);
	default: {
		if (!numbers::number(v, v + std::strlen(v), &x))
			return !bad_usage("%s: not a number: %s", name, shown(v).text);
		int most = id == threads ? stream::max_threads : 17;
		if (x != std::floor(x) || x < 1 || x > most)
			return !bad_usage("%s: not a count from 1 to %d: %s", name, most, shown(v).text);
		(id == threads ? o.threads : o.digits) = static_cast<int>(x);
		return true;
	}
	}
}

/* Takes the flag name into o; false after saying what does not go with it. */
inline bool
flag(Options &o, const char *name, const parameters::Parameter *p, Id id)
{
	if (p)
		o.given[p->id] = true, o.model.*p->field.flag = true;
	else if (id == pairs)
		o.pairs = true;
	else if (id == header)
		o.header = true;
	else if (id == ruler)
		o.ruler = true;
	else if (id == zhel)
		o.observed = true;
	else
		o.form = name;
	if (o.header && o.column)
		return !bad_usage("-header with -column: the table's header row gets the columns' names");
	return !(o.form && o.listed) || !bad_usage("-columns with %s: which of them wins is not defined", o.form);
}

/* Reads the options into o, up to the first argument that is not one (a
 * lone - is standard input, not an option), or after --.  Returns the
 * index of the first value, or -1 after saying on standard error what was
 * wrong. */
inline int
read(int argc, char *argv[], Options &o)
{
	/* -zhel names a field where -column makes the input a table. */
	bool table = false;
	for (int k = 1; k < argc && std::strcmp(argv[k], "--"); k++)
		table = table || !std::strcmp(argv[k], "-column");
	int i;
	for (i = 1; i < argc && argv[i][0] == '-' && argv[i][1]; i++) {
		const char *name = argv[i];
		if (!std::strcmp(name, "--"))
			return i + 1;
		const parameters::Parameter *p = parameters::option(name);
		const Own *mine = nullptr;
		for (const Own &c : own)
			mine = !std::strcmp(name, c.name) ? &c : mine;
		double x;
		if (!p && !mine && numbers::number(name, name + std::strlen(name), &x))
			return bad_usage("unknown option: %s; a negative value goes after --, as in skytable -- %s",
					 shown(name).text, shown(name).text), -1;
		if (!p && !mine)
			return bad_usage("unknown option: %s", shown(name).text), -1;
		bool valued = p ? p->form != parameters::flag : mine->id > zhel || (mine->id == zhel && table);
		if (!valued && !flag(o, name, p, mine ? mine->id : simple))
			return -1;
		if (valued && i + 1 == argc)
			return bad_usage("%s needs a value", name), -1;
		if (valued && !(p ? model_option(o, *p, name, argv[i + 1]) : own_option(o, mine->id, name, argv[i + 1])))
			return -1;
		i += valued;
	}
	return i;
}

/* What the ruler's columns (-columns or -from) and -ruler need of the
 * model: baryons for r_s, x_e and the universe's numbers, r_d (from the
 * baryons, or -rd) for the ratios; false after saying what is missing. */
inline bool
settle_ruler(const Options &o)
{
	bool baryons = !std::isnan(o.model.Omega_b), r_d = baryons || !std::isnan(o.model.r_d);
	std::vector<columns::Id> asked = o.columns;
	asked.push_back(o.from);
	for (columns::Id c : asked) {
		const char *option = c == o.from && c != columns::z ? "-from" : "-columns";
		if (columns::needs(c) == columns::baryons && !baryons)
			return !bad_usage("%s %s needs -omegab: it follows the baryons", option, columns::table[c].name);
		if (columns::needs(c) == columns::ruler_length && !r_d)
			return !bad_usage("%s %s needs -omegab or -rd: r_d, the ruler it is a ratio to", option,
					  columns::table[c].name);
	}
	return baryons || !o.ruler || !bad_usage("-ruler needs -omegab: the ruler is the baryons'");
}

/* The model from the options: -cosmology's set, with the options given
 * over it; false after saying which options do not go together or what
 * the model cannot be. */
inline bool
settle_model(Options &o)
{
	using namespace parameters;
	const bool *g = o.given;
	for (const Relation &r : relations) {
		/* A published set gives its temperature and its baryons. */
		bool other = g[r.other] || (o.named && (r.other == tcmb || r.other == omegab));
		std::string a = spelling(of(r.id)), b = spelling(of(r.other));
		if (r.id == radiation && g[r.id] && o.named && !g[tcmb])
			return !bad_usage("-radiation with -cosmology %s: its photons follow its CMB temperature", o.named->name);
		if (r.tie == yields && g[r.id] && other)
			return !bad_usage("%s with %s: %s", a.c_str(), b.c_str(), r.why);
		if (r.tie == needs && g[r.id] && !other)
			return !bad_usage("%s needs %s: %s", a.c_str(), b.c_str(), r.why);
	}
	if (o.named)
		o.model = overlaid(named::model(*o.named), o.model, g);
	std::string why = expansion::unfit_masses(o.model);
	if (!why.empty())
		return !bad_usage("-mnu: %s", why.c_str());
	why = expansion::unfit_baryons(o.model);
	if (!why.empty())
		return !bad_usage("-omegab: %s", why.c_str());
	if (o.model.r_d_fit && std::isnan(o.model.Omega_b))
		return !bad_usage("-rd fit needs -omegab: the fit takes the baryons' density");
	why = expansion::swamped(expansion::content(o.model));
	if (!why.empty())
		return !bad_usage("%s", why.c_str());
	bool fsigma8 = std::find(o.columns.begin(), o.columns.end(), columns::fsigma8) != o.columns.end();
	if (fsigma8 && !g[parameters::sigma8])
		return !bad_usage("-columns fsigma8 needs -sigma8, the amplitude it scales");
	return settle_ruler(o);
}

/* The frames' options (-zhel, -ra and -dec, -vpec) and the columns of
 * frames: what they go with; false after saying what does not. */
inline bool
settle_frames(const Options &o)
{
	const char *first = o.observed ? "-zhel" : o.ra ? "-ra" : o.dec ? "-dec" : o.vpec ? "-vpec" : nullptr;
	for (columns::Id c : o.columns)
		if (!first && columns::table[c].use == columns::frame)
			return !bad_usage("-columns %s needs -zhel, -ra and -dec, or -vpec: the frames of each redshift",
					  columns::table[c].name);
	if (!first)
		return true;
	if (o.pairs || o.from != columns::z)
		return !bad_usage("%s with %s: frames are those of one redshift given", first, o.pairs ? "-pairs" : "-from");
	if (!o.ra != !o.dec)
		return !bad_usage("%s needs %s: a position is both", o.ra ? "-ra" : "-dec", o.ra ? "-dec" : "-ra");
	if (o.ra && o.observed)
		return !bad_usage("-zhel with -ra: with a position, -column's redshift is the heliocentric one");
	if ((o.ra || o.vpec) && !o.column)
		return !bad_usage("%s names a field of -column's table", o.ra ? "-ra" : "-vpec");
	/* The fields all numbered, or all named. */
	const char *names[] = {o.column, o.zhel, o.ra, o.dec, o.vpec};
	const char *numbered = nullptr, *named = nullptr;
	for (const char *n : names)
		if (n)
			(std::strspn(n, "0123456789") == std::strlen(n) ? numbered : named) = n;
	return !(numbered && named) || !bad_usage("fields %s and %s: number every field, or name every one", numbered, named);
}

/* The columns and the values: those of pairs with -pairs, the forms'
 * without -columns; the values i to argc numbers, unless they name the
 * tables' files; false after saying what does not go together. */
inline bool
settle_columns(Options &o, int argc, char *argv[], int i)
{
	double z;
	for (int k = i; k < argc && !o.column; k++)
		if (!numbers::value_of(argv[k], argv[k] + std::strlen(argv[k]), o.decimal, &z))
			return !bad_usage("argument %d: not a number: %s%s", k, shown(argv[k]).text,
					  argv[k][0] == '-' && std::isalpha(static_cast<unsigned char>(argv[k][1]))
						  ? " (options come before the redshifts)"
						  : "");
	if (o.pairs && (o.from != columns::z || o.form))
		return !bad_usage("-pairs with %s: pairs take -columns of pairs", o.form ? o.form : "-from");
	if (o.pairs && !o.listed)
		o.columns.assign(1, columns::d_A12), o.listed = true;
	for (columns::Id c : o.columns)
		if ((columns::table[c].use == columns::pair) != o.pairs)
			return !bad_usage(o.pairs ? "-pairs: not a column of pairs: %s; those are %s"
						  : "-columns: %s is a column of pairs (%s): give -pairs",
					  columns::table[c].name, columns::names(columns::pair).c_str());
	if (o.pairs && !o.column && (argc - i) % 2)
		return !bad_usage("-pairs: %d redshifts, not pairs of them", argc - i);
	if (o.observed && !o.column && (argc - i) % 2)
		return !bad_usage("-zhel: %d redshifts, not pairs of z and z_hel", argc - i);
	std::size_t comma = o.column ? std::strcspn(o.column, ",") : 0;
	if (o.pairs && o.column && (!o.column[comma] || !comma || !o.column[comma + 1]))
		return !bad_usage("-pairs with -column: two fields, as in -column z_lens,z_source");
	if (!settle_frames(o))
		return false;
	if (!o.listed) {
		/* The forms: d_L (-simple), the three distances, and -verbose's
		 * times after them; with -from the redshift found first. */
		static const columns::Id all[] = {columns::z,	  columns::d_L,	       columns::d_c,  columns::d_A,
						  columns::t_age, columns::t_lookback, columns::t_now};
		int first = o.from == columns::z ? 1 : 0;
		int last = !o.form ? 4 : o.form[1] == 'v' ? 7 : 1 + first;
		o.columns.assign(all + first, all + last);
	}
	if (o.sep && !o.column)
		return !bad_usage("-sep is the separator of -column's table");
	if (o.ruler && (i < argc || o.column))
		return !bad_usage("-ruler prints the universe's numbers: it takes no values");
	return !(o.decimal == ',' && o.sep == ',') ||
	       !bad_usage("-decimal , with -sep comma: a comma cannot part both the fields and a number's digits");
}

/* Reads and settles the options; returns the index of the first value, or
 * -1 after saying what was wrong. */
inline int
parse(int argc, char *argv[], Options &o)
{
	int i = read(argc, argv, o);
	if (i < 0 || !settle_model(o) || !settle_columns(o, argc, argv, i))
		return -1;
	return i;
}

} // namespace options
