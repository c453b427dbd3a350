/*
 * skydepth - luminosity distance to a redshift in a universe with matter,
 * vacuum energy, radiation and the curvature they imply.
 */
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "expansion.h"
#include "finish.h"
#include "named.h"
#include "notes.h"

typedef int ReportMode; /* -1 simple: the bare distance, 0 normal, 1 verbose */

/* The options, matched on their first `compared` characters, so by prefix
 * (-verbosely is -verbose), except -simple, whose terminating zero is
 * compared too.  Those of one group act alike; the groups up to cosmology
 * take the next argument as their value. */
enum Group { hubble, matter, vacuum, radiation, w0, wa, tcmb, neff, mnu, neutrinos, cosmology, verbose, simple, exact, flat };
struct Option {
	const char *name;
	std::size_t compared;
	Group group;
};
static const Option options[] = {
	{"-h0", 3, hubble},	{"-hubble", 7, hubble},	  {"-omega", 6, matter},
	{"-matter", 7, matter},	{"-lambda", 7, vacuum},	  {"-vaccum", 7, vacuum},
	{"-vacuum", 7, vacuum},	{"-radiation", 10, radiation}, {"-w0", 3, w0},
	{"-wa", 3, wa},		{"-verbose", 8, verbose}, {"-simple", 8, simple},
	{"-exact", 6, exact},	{"-tcmb", 5, tcmb},	  {"-neff", 5, neff},
	{"-mnu", 4, mnu},	{"-neutrinos", 10, neutrinos}, {"-cosmology", 10, cosmology},
	{"-flat", 5, flat},
};
static const char *const help[] = {
	"Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]",
	"  z                                  the redshift; give it first, as in skydepth 1 -h0 70",
	"  -h0, -hubble H0                    Hubble constant in km/s/Mpc (73)",
	"  -omega, -matter Omega_M            matter density parameter (0.27)",
	"  -lambda, -vacuum, -vaccum Lambda0  vacuum energy density parameter (0.73)",
	"  -radiation R                       radiation density Omega_r h^2 (4.165e-5; 0 for none)",
	"  -w0 W0, -wa WA                     dark energy w = w0 + wa (1 - a) (-1, 0), values",
	"                                     such as -0.9 included",
	NAMED_HELP,
	"  -exact                             the integrals' true values, not the 1000-step rule's",
	"  -verbose                           also the parameters, three distances and three times",
	"  -simple                            only the distance, as a bare number",
	"  --help, --version                  this text, or the version",
	nullptr};

double skydepth(double z, const expansion::Universe &u, int report_level);
static const Option *option(const char *arg);
static bool takes_value(const Option *o);
static bool taken(const Option *o, const char *next);
static void note_arguments(int argc, char *argv[], int zarg);
static double parameter(char *argv[], int at, const char *name, double fallback);
static expansion::Model model(char *argv[], const int *at, bool exact, bool flat);
static void note_unfit(const expansion::Model &m);

int
main(int argc, char *argv[])
{
	int zarg = 0;			   /* where the redshift is, or 0 */
	int at[cosmology + 1] = {}; /* where the options whose values count are, by group */
	ReportMode report = 0;
	bool exact_rule = false, flat_budget = false;

	if (argc < 2) {
		std::cout
			<< "Usage: skydepth z [-simple] -h0 73 -matter 0.27 -vaccum 0.73 [-verbose]"
			<< std::endl;
		return finish("skydepth");
	}
	if (answer("skydepth", argc, argv, help))
		return finish("skydepth");

	/* The redshift is the first argument not taking the form of an option,
	 * even when it was meant as an option's value (-h0 70 1 gives z = 70). */
	for (int i = 1; i < argc; i++)
		if (argv[i][0] != '\0' && argv[i][0] != '-') {
			zarg = i;
			break;
		}

	/* A value starting with '-' is not taken (but a negative number by -w0
	 * and -wa), an empty one is, and then the default applies. */
	for (int i = 1; i < argc; i++) {
		const Option *o = option(argv[i]);
		if (!o)
			continue;
		if (takes_value(o) && i + 1 < argc && taken(o, argv[i + 1]))
			at[o->group] = i;
		if (o->group == verbose)
			report = 1;
		if (o->group == simple)
			report = -1;
		if (o->group == exact)
			exact_rule = true;
		if (o->group == flat)
			flat_budget = true;
	}
	note_arguments(argc, argv, zarg);

	/* strtod rather than atof: the same values, but defined out of range. */
	double z = zarg ? read_number("skydepth", argv[zarg]) : 0;
	expansion::Model m = model(argv, at, exact_rule, flat_budget);

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

static const Option *
option(const char *arg)
{
	for (const Option &o : options)
		if (!std::strncmp(arg, o.name, o.compared))
			return &o;
	return nullptr;
}

static bool
takes_value(const Option *o)
{
	return o && o->group <= cosmology;
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
taken(const Option *o, const char *next)
{
	return next[0] != '-' || ((o->group == w0 || o->group == wa) && negative(next));
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
		const Option *o = option(a), *before = i > 1 ? option(argv[i - 1]) : nullptr;
		bool after_valued = takes_value(before);
		bool value = after_valued && taken(before, a);
		if (o && std::strlen(a) > o->compared)
			note(p, "read \"%s\" as %s%s", shown(a).text, o->name,
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
		if (o || refused || (value && i != zarg))
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
 * options given over it.  What does not go together, or cannot be, is
 * noted, and the run goes on: a temperature's photons over -radiation,
 * -flat over -lambda; neutrinos need a temperature. */
static expansion::Model
model(char *argv[], const int *at, bool exact_rule, bool flat_budget)
{
	const char *p = "skydepth";
	const named::Cosmology *set = nullptr;
	if (at[cosmology] && *argv[at[cosmology] + 1] && !(set = named::find(argv[at[cosmology] + 1])))
		note(p, "-cosmology: \"%s\" is not one of %s: it is ignored", shown(argv[at[cosmology] + 1]).text,
		     named::names().c_str());
	expansion::Model m = set ? named::model(*set) : expansion::Model();
	m.exact = exact_rule;
	m.H0 = parameter(argv, at[hubble], "H0", m.H0);
	m.Omega_M = parameter(argv, at[matter], "Omega_M", m.Omega_M);
	m.Lambda0 = parameter(argv, at[vacuum], "Lambda0", m.Lambda0);
	m.radiation = parameter(argv, at[radiation], "Omega_r h^2", m.radiation);
	m.w0 = parameter(argv, at[w0], "w0", m.w0);
	m.wa = parameter(argv, at[wa], "wa", m.wa);
	m.tcmb = parameter(argv, at[tcmb], "Tcmb", m.tcmb);
	m.neff = parameter(argv, at[neff], "Neff", m.neff);
	if (at[vacuum] && !flat_budget)
		m.flat = false;
	m.flat = m.flat || flat_budget;
	if (at[vacuum] && m.flat)
		note(p, "%s with -flat: the vacuum closes the budget, and the value is ignored", shown(argv[at[vacuum]]).text);
	if (at[mnu] && *argv[at[mnu] + 1]) {
		m.masses.clear();
		for (char *q = argv[at[mnu] + 1];; q++) {
			std::size_t len = std::strcspn(q, ",");
			char keep = q[len];
			q[len] = '\0';
			m.masses.push_back(read_number(p, q));
			q[len] = keep;
			q += len;
			if (!*q)
				break;
		}
	}
	if (at[neutrinos] && std::strcmp(argv[at[neutrinos] + 1], "fit") != 0 && std::strcmp(argv[at[neutrinos] + 1], "exact") != 0)
		note(p, "-neutrinos: \"%s\" is not exact or fit: exact is used", shown(argv[at[neutrinos] + 1]).text);
	m.fit = at[neutrinos] && !std::strcmp(argv[at[neutrinos] + 1], "fit");
	if (m.tcmb >= 0 && at[radiation])
		note(p, "%s is ignored: the photons follow the CMB temperature", shown(argv[at[radiation]]).text);
	for (Group g : {neff, mnu, neutrinos})
		if (at[g] && m.tcmb < 0)
			note(p, "%s is ignored: the neutrinos follow the CMB temperature, and there is none (-tcmb)",
			     shown(argv[at[g]]).text);
	note_unfit(m);
	return m;
}

/* Notes the parameters that cannot be, which the run takes as they are. */
static void
note_unfit(const expansion::Model &m)
{
	using namespace expansion;
	const struct {
		Parameter p;
		const char *name;
		double value;
	} all[] = {{H0_p, "H0", m.H0},	       {Omega_M_p, "Omega_M", m.Omega_M}, {Lambda0_p, "Lambda0", m.Lambda0},
		   {radiation_p, "Omega_r h^2", m.radiation}, {w0_p, "w0", m.w0}, {wa_p, "wa", m.wa},
		   {tcmb_p, "Tcmb", m.tcmb < 0 && m.tcmb == -1 ? 0 : m.tcmb}, {neff_p, "Neff", m.neff}};
	for (const auto &a : all)
		if (const char *why = unfit(a.p, a.value))
			note("skydepth", "%s %g is %s: it is used as it is", a.name, a.value, why);
	for (double mass : m.masses)
		if (const char *why = unfit(mass_p, mass))
			note("skydepth", "a neutrino mass of %g eV is %s: it is used as it is", mass, why);
	std::string why = unfit_masses(m);
	if (!why.empty())
		note("skydepth", "-mnu: %s", why.c_str());
	why = swamped(content(m));
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
		} else if (m.radiation == expansion::Model().radiation) {
			std::cout << "Radiation=4.165E-5/(h*h)";
		} else {
			std::cout << "Radiation=" << m.radiation << "/(h*h)";
		}
		if (u.evolving)
			std::cout << " w0=" << m.w0 << " wa=" << m.wa;
		std::cout << std::endl;
	}

	double age, lookback, comoving;
	expansion::integrals<true>(z, u, age, lookback, comoving);
	expansion::Depth d = expansion::depth(z, u, age, lookback, comoving);

	if (report_level > 0) {
		std::cout << "skydepth d_L=" << d.d_L << " Mpc, d_c=" << d.d_c
			  << " Mpc, d_A=" << d.d_A << " Mpc" << std::endl;
		std::cout << "skydepth t_age=" << d.t_age << " Gyr, t_lookback=" << d.t_lookback
			  << " Gyr, t_now=" << d.t_now << " Gyr" << std::endl;
	}
	return d.d_L;
}
