/*
 * skydepth - luminosity distance to a redshift in a universe with matter,
 * vacuum energy, radiation and the curvature they imply.
 */
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "expansion.h"
#include "finish.h"
#include "ruler.h"
#include "lists.h"
#include "named.h"
#include "notes.h"
#include "parameters.h"

using parameters::Parameter;

typedef int ReportMode; /* -1 simple: the bare distance, 0 normal, 1 verbose */

/* An option: the model's parameter it sets, or one of skydepth's own
 * (-verbose, -simple); matched on its first `compared` characters, so by
 * prefix (-verbosely is -verbose), except -simple, whose terminating zero
 * is compared too. */
struct Option {
	const Parameter *p; /* or null for skydepth's own */
	const char *name;
	std::size_t compared;
};
static const Option own[] = {{nullptr, "-verbose", 8}, {nullptr, "-simple", 8}};

static const char *const before_help[] = {
	"Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]",
	"  z                                  the redshift; give it first, as in skydepth 1 -h0 70", nullptr};
static const char *const after_help[] = {
	"  -verbose                           also the parameters, three distances and three times",
	"  -simple                            only the distance, as a bare number",
	"  --help, --version                  this text, or the version", nullptr};

double skydepth(double z, const expansion::Universe &u, int report_level);
static void help();
static Option option(const char *arg);
static bool takes_value(const Option &o);
static bool taken(const Option &o, const char *next);
static void note_arguments(int argc, char *argv[], int zarg);
static double parameter(char *argv[], int at, const char *name, double fallback);
static expansion::Model model(char *argv[], const int *at);
static void note_unfit(const expansion::Model &m);

int
main(int argc, char *argv[])
{
	int zarg = 0;			/* where the redshift is, or 0 */
	int at[parameters::count] = {}; /* where the options that count are, by parameter */
	ReportMode report = 0;

	if (argc < 2) {
		std::cout << before_help[0] << std::endl;
		return finish("skydepth");
	}
	if (answer("skydepth", argc, argv, help))
		return finish("skydepth");

	/* The redshift is the first argument not taking the form of an option,
	 * even when it was meant as an option's value (-h0 70 1 gives z = 70). */
	for (int i = 1; i < argc && !zarg; i++)
		zarg = argv[i][0] != '\0' && argv[i][0] != '-' ? i : 0;

	/* A value starting with '-' is not taken (but a negative number by -w0
	 * and -wa), an empty one is, and then the default applies. */
	for (int i = 1; i < argc; i++) {
		Option o = option(argv[i]);
		if (o.p && (!takes_value(o) || (i + 1 < argc && taken(o, argv[i + 1]))))
			at[o.p->id] = i;
		if (o.name && !o.p)
			report = o.name[1] == 'v' ? 1 : -1;
	}
	note_arguments(argc, argv, zarg);

	/* strtod rather than atof: the same values, but defined out of range. */
	double z = zarg ? read_number("skydepth", argv[zarg]) : 0;
	expansion::Model m = model(argv, at);

	const expansion::Universe u = expansion::universe(m);
	/* Lambda0 as the budget closes it, where it does.  The first line that
	 * fails to be written says why, whatever the arithmetic after it does
	 * to errno: once a write has failed, nothing more is written. */
	int reason = 0;
	if (report >= 0)
		std::cout << "skydepth " << z << " H0=" << m.H0 << " Omega_M=" << m.Omega_M
			  << " Lambda0=" << u.m.Lambda0 << std::endl;
	keep_reason(reason);
	double d_L = skydepth(z, u, report);
	if (report >= 0)
		std::cout << "skydepth = " << d_L << " Mpc" << std::endl;
	else
		std::cout << d_L << std::endl;
	keep_reason(reason);
	return finish("skydepth", reason);
}

/* The usage, a line for each parameter (w0 and wa saying that they take a
 * negative value), then skydepth's own options. */
static void
help()
{
	for (const char *const *l = before_help; *l; l++)
		std::cout << *l << '\n';
	for (const std::string &line : parameters::help(true, [](const Parameter &p) {
		     return p.traits & parameters::negative ? ", values\nsuch as -0.9 included" : "";
	     }))
		std::cout << line << '\n';
	for (const char *const *l = after_help; *l; l++)
		std::cout << *l << '\n';
}

/* The option arg starts with, the longest where several do (-omegab, not
 * -omega), or none (a null name). */
static Option
option(const char *arg)
{
	Option found = {nullptr, nullptr, 0};
	for (const Parameter &p : parameters::table)
		for (const char *s = p.options; *s && !(p.traits & parameters::table_only);) {
			std::size_t n = std::strcspn(s, " ");
			if (!std::strncmp(arg, s, n) && n > found.compared)
				found = {&p, s, n};
			s += n;
			s += *s == ' ';
		}
	for (const Option &o : own)
		if (!std::strncmp(arg, o.name, o.compared))
			return o;
	return found;
}

static bool
takes_value(const Option &o)
{
	return o.p && o.p->form != parameters::flag;
}

/* A text that reads as a negative number, which only -w0 and -wa take as
 * their value. */
static bool
negative(const char *text)
{
	return text[0] == '-' && (std::isdigit(static_cast<unsigned char>(text[1])) || text[1] == '.');
}

/* Whether an option that takes a value takes next: one that does not
 * start with '-', or for w0 and wa, which are almost always negative, one
 * that reads as a negative number. */
static bool
taken(const Option &o, const char *next)
{
	return next[0] != '-' || ((o.p->traits & parameters::negative) && negative(next));
}

/* Tells on stderr of every argument read other than it looks: options
 * taken from longer words or left without a value, and arguments that are
 * neither an option, its value nor the redshift. */
static void
note_arguments(int argc, char *argv[], int zarg)
{
	const char *p = "skydepth";
	if (!zarg)
		note(p, "no redshift given: z is 0");
	for (int i = 1; i < argc; i++) {
		const char *a = argv[i];
		Option o = option(a), before = i > 1 ? option(argv[i - 1]) : Option{nullptr, nullptr, 0};
		bool after_valued = takes_value(before);
		bool value = after_valued && taken(before, a);
		if (o.name && std::strlen(a) > o.compared)
			note(p, "read \"%s\" as %.*s%s", shown(a).text, static_cast<int>(o.compared), o.name,
			     takes_value(o) ? ", whose value is the next argument" : "");
		if (takes_value(o) && i + 1 == argc)
			note(p, "%s has no value: it is ignored", shown(a).text);
		else if (takes_value(o) && !taken(o, argv[i + 1]) && negative(argv[i + 1]))
			note(p, "%s takes no value starting with '-', so not \"%s\"; a leading blank, "
				"\" %s\", passes it",
			     shown(a).text, shown(argv[i + 1]).text, shown(argv[i + 1]).text);
		else if (takes_value(o) && !taken(o, argv[i + 1]))
			note(p, "%s has no value: the next argument, \"%s\", starts with '-'",
			     shown(a).text, shown(argv[i + 1]).text);
		bool refused = after_valued && negative(a);
		if (o.name || refused || (value && i != zarg))
			continue;
		if (i == zarg) {
			if (value)
				note(p, "\"%s\", the value of %s, is also the redshift, the first "
					"argument not starting with '-': give the redshift first",
				     shown(a).text, shown(argv[i - 1]).text);
		} else if (a[0] == '-')
			note(p, "ignored \"%s\": no such option", shown(a).text);
		else if (a[0] == '\0')
			note(p, "ignored an empty argument");
		else
			note(p, "ignored \"%s\": the redshift is \"%s\", and only one is read",
			     shown(a).text, shown(argv[zarg]).text);
	}
}

/* A parameter's value: the text after its option at argv[at] read as a
 * number, or the default where no option gave one (at is 0) or the value
 * given was empty. */
static double
parameter(char *argv[], int at, const char *name, double fallback)
{
	if (at && *argv[at + 1])
		return read_number("skydepth", argv[at + 1]);
	if (at)
		note("skydepth", "%s has an empty value: %s is the default, %g", shown(argv[at]).text,
		     name, fallback);
	return fallback;
}

/* The model the options give: -cosmology's set, or the defaults, with the
 * options given over it, the numbers first.  What does not go together, or
 * cannot be, is noted, and the run goes on: a temperature's photons over
 * -radiation, -flat over -lambda; neutrinos need a temperature. */
static expansion::Model
model(char *argv[], const int *at)
{
	using namespace parameters;
	const char *p = "skydepth", *set_name = at[cosmology] ? argv[at[cosmology] + 1] : "";
	const named::Cosmology *set = *set_name ? named::find(set_name) : nullptr;
	if (*set_name && !set)
		note(p, "-cosmology: \"%s\" is not one of %s: it is ignored", shown(set_name).text, named::names().c_str());
	expansion::Model m = set ? named::model(*set) : expansion::Model();
	m.exact = at[exact];
	for (const Parameter &q : table)
		if (q.form == number && !(q.traits & table_only))
			m.*q.field.number = parameter(argv, at[q.id], q.noted, m.*q.field.number);
	if (at[vacuum] && !at[flat])
		m.flat = false;
	m.flat = m.flat || at[flat];
	if (set)
		drop_unfit_baryons(m, at[omegab]);
	for (const Relation &r : relations)
		if (r.other == flat && at[r.id] && m.flat)
			note(p, "%s with %s: %s, and the value is ignored", shown(argv[at[r.id]]).text, spelling(of(flat)).c_str(),
			     r.why);
	if (at[mnu] && *argv[at[mnu] + 1]) {
		m.masses.clear();
		each_item(argv[at[mnu] + 1], [&](const char *item, std::size_t len) {
			m.masses.push_back(read_number(p, std::string(item, len).c_str()));
			return true;
		});
	}
	const char *rule = at[neutrinos] ? argv[at[neutrinos] + 1] : "exact";
	if (std::strcmp(rule, "fit") != 0 && std::strcmp(rule, "exact") != 0)
		note(p, "-neutrinos: \"%s\" is not exact or fit: exact is used", shown(rule).text);
	m.fit = !std::strcmp(rule, "fit");
	for (const Relation &r : relations) {
		bool other = r.other == tcmb ? m.tcmb >= 0 : !std::isnan(m.Omega_b);
		if (r.other != flat && at[r.id] && (r.tie == yields ? other : !other))
			note(p, "%s is ignored: %s%s%s%s", shown(argv[at[r.id]]).text, r.why,
			     r.tie == needs ? ", and there is none (" : "", r.tie == needs ? spelling(of(r.other)).c_str() : "",
			     r.tie == needs ? ")" : "");
	}
	note_unfit(m);
	return m;
}

/* Notes the parameters that cannot be, which the run takes as they are:
 * each number out of its bounds (a temperature that was not given is
 * none), each mass, masses that do not fit the species, and radiation
 * that swamps the budget. */
static void
note_unfit(const expansion::Model &m)
{
	using namespace parameters;
	const expansion::Model defaults;
	for (const Parameter &q : table) {
		if (q.traits & table_only)
			continue;
		double x = q.form == number ? m.*q.field.number : 0, given = q.form == number ? defaults.*q.field.number : 0;
		if (q.form == number && !((q.traits & unset) && (x == given || (std::isnan(x) && std::isnan(given)))))
			if (const char *why = unfit(q.bound, m.*q.field.number))
				note("skydepth", "%s %g is %s: it is used as it is", q.noted, m.*q.field.number, why);
		for (double mass : q.form == masses ? m.masses : std::vector<double>())
			if (const char *why = unfit(q.bound, mass))
				note("skydepth", "a neutrino mass of %g eV is %s: it is used as it is", mass, why);
	}
	std::string why = expansion::unfit_masses(m);
	if (!why.empty())
		note("skydepth", "-mnu: %s", why.c_str());
	why = expansion::unfit_baryons(m);
	if (!why.empty())
		note("skydepth", "-omegab: %s: it is used as it is", why.c_str());
	why = expansion::swamped(expansion::content(m));
	if (!why.empty())
		note("skydepth", "%s: the numbers are what the sum gives", why.c_str());
}

/*
 * Integrates 1/H over the scale factor, by the midpoint rule or exactly, from
 * 0 to the emission and from the emission to now, and returns d_L in Mpc.  With
 * report_level > 0 it also prints the parameters, distances and times.
 */
double
skydepth(double z, const expansion::Universe &u, int report_level)
{
	if (z < 0)
		return 0.0;

	const expansion::Model &m = u.m;
	if (report_level > 0) {
		std::cout << "skydepth z=" << z << " H0=" << m.H0 << " Omega_M=" << m.Omega_M
			  << " Lambda0=" << m.Lambda0 << " Curvaturve_k=" << u.Omega_k << " ";
		if (m.tcmb >= 0) {
			std::cout << "Tcmb=" << m.tcmb << " Neff=" << m.neff << " m_nu=";
			for (std::size_t k = 0; k < m.masses.size(); k++)
				std::cout << (k ? "," : "") << m.masses[k];
			std::cout << (m.masses.empty() ? "0" : "") << " Omega_gamma=" << u.photons
				  << " Omega_nu=" << u.neutrinos << (m.fit ? " neutrinos=fit" : "");
			if (!std::isnan(m.Omega_b))
				std::cout << " Omega_b=" << m.Omega_b << " Y_He=" << m.Y_He;
		} else if (m.radiation == expansion::Model().radiation) {
			std::cout << "Radiation=4.165E-5/(h*h)";
		} else {
			std::cout << "Radiation=" << m.radiation << "/(h*h)";
		}
		if (u.evolving)
			std::cout << " w0=" << m.w0 << " wa=" << m.wa;
		std::cout << std::endl;
		if (m.tcmb >= 0 && !std::isnan(m.Omega_b)) {
			std::shared_ptr<const ruler::Ruler> r = ruler::of(u);
			std::cout << "skydepth z_star=" << r->z_star << " r_star=" << r->r_star << " Mpc, 100 theta_star="
				  << r->theta_star << ", z_drag=" << r->z_drag << " r_drag=" << r->r_drag << " Mpc, z_eq=" << r->z_eq
				  << std::endl;
		}
	}

	/* The times only where they are printed: d_L is the same bits without
	 * them, and under the exact rule the age alone would cut the direct
	 * rule's panels. */
	double age = 0, lookback = 0, comoving;
	if (report_level > 0)
		expansion::integrals<true>(z, u, age, lookback, comoving);
	else
		expansion::integrals<false>(z, u, age, lookback, comoving);
	expansion::Depth d = expansion::depth(z, u, age, lookback, comoving);

	if (report_level > 0) {
		std::cout << "skydepth d_L=" << d.d_L << " Mpc, d_c=" << d.d_c
			  << " Mpc, d_A=" << d.d_A << " Mpc" << std::endl;
		std::cout << "skydepth t_age=" << d.t_age << " Gyr, t_lookback=" << d.t_lookback
			  << " Gyr, t_now=" << d.t_now << " Gyr" << std::endl;
	}
	return d.d_L;
}
