/*
 * The model's parameters, each declared once: the options skytable and
 * skydepth take for it, the module's keyword and its place among the
 * module's arguments, the name skydepth's notes give it, its unit, how its
 * value is read and what it may be, the field of the Model it sets, and
 * its line of --help.  The programs' options and --help, skydepth's notes,
 * the completions (CMake reads the rows), the module's arguments and
 * properties, and a published set with the options given over it are all
 * read from the table: keep one row to a line.  The default is the Model's
 * own, in content.h.
 */
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "content.h"

namespace parameters {

using expansion::Model;

enum Id { hubble, matter, vacuum, radiation, w0, wa, tcmb, neff, mnu, neutrinos, flat, cosmology, sigma8, omegab, yhe, rd,
	  exact };

/* How a value is read: a number, a list of masses, one of the words of
 * the value's name (exact|fit, the second setting the flag), a number or
 * the word after the value's '|' (R|fit, the word setting the flag), a
 * published set's name, or none, for a flag. */
enum Form { number, masses, choice, number_or_word, named, flag };

/* What a number may be. */
enum Bound { finite, above_zero, zero_or_more, fraction };

/* What sets a parameter apart: skytable (and the module) takes it, not
 * skydepth; skydepth takes a negative value for it (a value starting with
 * '-'); the module's None is the Model's default, which the budget or the
 * temperature decides; the module's None is the Model's mark for none. */
enum Trait { table_only = 1, negative = 2, decided = 4, unset = 8 };

/* The Model's field a parameter sets: a number, a flag or a list, or a
 * number and the flag that stands for a word in its place. */
struct Field {
	double Model::*number = nullptr;
	bool Model::*flag = nullptr;
	std::vector<double> Model::*list = nullptr;
	constexpr Field() = default;
	constexpr Field(double Model::*f) : number(f) {}
	constexpr Field(bool Model::*f) : flag(f) {}
	constexpr Field(std::vector<double> Model::*f) : list(f) {}
	constexpr Field(double Model::*f, bool Model::*word) : number(f), flag(word) {}
};

struct Parameter {
	Id id;
	const char *options; /* the programs' spellings, separated by blanks */
	const char *keyword; /* the module's */
	int position;	     /* among the module's arguments, from 0; -1 for none */
	const char *noted;   /* in skydepth's notes */
	const char *value;   /* --help's name for the value, "" for a flag */
	const char *unit;
	Form form;
	Bound bound;
	Field field;
	int traits;
	const char *what; /* --help's text, "\n" between its lines; null: on the line before */
};

constexpr Parameter table[] = {
	{hubble, "-h0 -hubble", "h0", 0, "H0", "H0", "km/s/Mpc", number, above_zero, &Model::H0, 0, "Hubble constant in km/s/Mpc (73)"},
	{matter, "-omega -matter", "omega_m", 1, "Omega_M", "Omega_M", "", number, finite, &Model::Omega_M, 0, "matter density parameter (0.27)"},
	{vacuum, "-lambda -vacuum -vaccum", "lambda0", 2, "Lambda0", "Lambda0", "", number, finite, &Model::Lambda0, decided, "vacuum energy density parameter (0.73)"},
	{radiation, "-radiation", "radiation", 3, "Omega_r h^2", "R", "", number, zero_or_more, &Model::radiation, decided, "radiation density Omega_r h^2 (4.165e-5; 0 for none)"},
	{w0, "-w0", "w0", 4, "w0", "W0", "", number, finite, &Model::w0, negative, "dark energy w = w0 + wa (1 - a) (-1, 0)"},
	{wa, "-wa", "wa", 5, "wa", "WA", "", number, finite, &Model::wa, negative, nullptr},
	{tcmb, "-tcmb", "tcmb0", 7, "Tcmb", "T", "K", number, zero_or_more, &Model::tcmb, unset, "CMB temperature today in K: photons and neutrinos follow\nfrom it and count in the budget, instead of -radiation"},
	{neff, "-neff", "neff", 8, "Neff", "N", "", number, zero_or_more, &Model::neff, 0, "effective number of neutrino species (3.046)"},
	{mnu, "-mnu", "m_nu", 9, "m_nu", "LIST", "eV", masses, zero_or_more, &Model::masses, 0, "neutrino masses in eV, comma-separated: one for every\nspecies, or one each (none massive)"},
	{neutrinos, "-neutrinos", "neutrinos", 11, "neutrinos", "exact|fit", "", choice, finite, &Model::fit, 0, "massive neutrinos' density exactly, or by astropy's fit"},
	{flat, "-flat", "flat", 10, "flat", "", "", flag, finite, &Model::flat, 0, "the vacuum closes the budget: Omega_k is 0"},
	{cosmology, "-cosmology", "", -1, "cosmology", "NAME", "", named, finite, {}, 0, "a published set, flat: Planck18, Planck15, Planck13,\nWMAP9, WMAP7, WMAP5; options given with it override it;\nastropy's numbers with -exact -neutrinos fit"},
	{sigma8, "-sigma8", "sigma8", 12, "sigma8", "S", "", number, zero_or_more, &Model::sigma8, table_only | unset, "sigma8 today, for the column fsigma8"},
	{omegab, "-omegab", "omega_b", 13, "Omega_b", "Omega_b", "", number, zero_or_more, &Model::Omega_b, unset, "baryon density parameter, a part of Omega_M (none):\nthe sound horizon and the columns of the ruler"},
	{yhe, "-yhe", "y_he", 14, "Y_He", "Y", "", number, fraction, &Model::Y_He, 0, "helium's share of the baryons' mass (0.2454)"},
	{rd, "-rd", "r_d", 15, "r_d", "R|fit", "Mpc", number_or_word, above_zero, {&Model::r_d, &Model::r_d_fit}, table_only | unset, "r_d in Mpc for the ratios, in place of the kit's own: a number,\nor fit, by the formula of Aubourg et al. 2015"},
	{exact, "-exact", "exact", 6, "exact", "", "", flag, finite, &Model::exact, 0, "the integrals' true values, not the 1000-step rule's"},
};
const int count = sizeof table / sizeof table[0];

/* Whether each row is where its Id says, so that of() finds it. */
constexpr bool
in_order()
{
	for (int k = 0; k < count; k++)
		if (table[k].id != k)
			return false;
	return true;
}
static_assert(in_order(), "the rows of parameters::table are in the order of their Ids");

/* Parameters that yield to another, which decides them when both are
 * given, and those that need another: why, as the programs say it. */
enum Tie { yields, needs };
const struct Relation {
	Id id;
	Tie tie;
	Id other;
	const char *why;
} relations[] = {
	{radiation, yields, tcmb, "the photons follow the CMB temperature"},
	{neff, needs, tcmb, "the neutrinos follow the CMB temperature"},
	{mnu, needs, tcmb, "the neutrinos follow the CMB temperature"},
	{neutrinos, needs, tcmb, "the neutrinos follow the CMB temperature"},
	{omegab, needs, tcmb, "the baryons recombine as the CMB cools"},
	{yhe, needs, omegab, "it is a share of the baryons"},
	{vacuum, yields, flat, "the vacuum closes the budget"},
};

/* Why x cannot be a number of the bound given, or null when it can: H0 is
 * a finite number above 0, a density, temperature, count or mass a finite
 * number of 0 or more, a share of a mass from 0 up to 1, anything else a
 * finite number. */
inline const char *
unfit(Bound b, double x)
{
	switch (b) {
	case above_zero:
		return x > 0 && x < INFINITY ? nullptr : "not a finite number above 0";
	case zero_or_more:
		return x >= 0 && x < INFINITY ? nullptr : "not a finite number of 0 or more";
	case fraction:
		return x >= 0 && x < 1 ? nullptr : "not a number from 0 up to 1";
	default:
		return std::isfinite(x) ? nullptr : "not a finite number";
	}
}

/* The parameter of an option spelled exactly as name, or null. */
inline const Parameter *
option(const char *name)
{
	std::size_t len = std::strlen(name);
	for (const Parameter &p : table)
		for (const char *s = p.options; *s;) {
			std::size_t n = std::strcspn(s, " ");
			if (n == len && !std::strncmp(s, name, len))
				return &p;
			s += n;
			s += *s == ' ';
		}
	return nullptr;
}

/* Its first spelling, as messages name it. */
inline std::string
spelling(const Parameter &p)
{
	return std::string(p.options, std::strcspn(p.options, " "));
}

inline const Parameter &
of(Id id)
{
	return table[id];
}

/* Copies p's value from one model to another. */
inline void
copy(const Parameter &p, const Model &from, Model &to)
{
	const Field &f = p.field;
	if (f.number)
		to.*f.number = from.*f.number;
	if (f.flag)
		to.*f.flag = from.*f.flag;
	if (f.list)
		to.*f.list = from.*f.list;
}

/* A published set's baryons, not given again, under a matter density
 * given below theirs: they go, so that a run that asks nothing of them
 * goes on, and one that does is told to give -omegab. */
inline void
drop_unfit_baryons(Model &m, bool baryons_given)
{
	if (!baryons_given && m.Omega_b > m.Omega_M)
		m.Omega_b = NAN;
}

/* The model of a published set with the parameters given over it: a
 * vacuum given makes it curved, unless the vacuum is also to close the
 * budget. */
inline Model
overlaid(const Model &set, const Model &given_model, const bool *given)
{
	Model m = set;
	for (const Parameter &p : table)
		if (given[p.id])
			copy(p, given_model, m);
	if (given[vacuum] && !given[flat])
		m.flat = false;
	drop_unfit_baryons(m, given[omegab]);
	return m;
}

/* The help's lines of the parameters (skydepth's: depth, without those of
 * skytable alone), each "  " and its options and value, padded to a column
 * of 37, then its text; a parameter without text joins the line before.
 * note(p) adds to a parameter's text. */
template <typename Note>
inline std::vector<std::string>
help(bool depth, Note note)
{
	std::vector<std::string> lines;
	for (int k = 0; k < count; k++) {
		const Parameter &p = table[k];
		if (!p.what || (depth && (p.traits & table_only)))
			continue;
		std::string label;
		for (int j = k; j < count && (j == k || !table[j].what); j++) {
			std::string spellings = table[j].options;
			for (std::size_t at = 0; (at = spellings.find(' ', at)) != std::string::npos; at += 2)
				spellings.replace(at, 1, ", ");
			label += (j == k ? "" : ", ") + spellings + (*table[j].value ? " " : "") + table[j].value;
		}
		std::string text = std::string(p.what) + note(p);
		std::string line = "  " + label + std::string(label.size() < 35 ? 35 - label.size() : 1, ' ');
		for (std::size_t at = 0, nl;; at = nl + 1) {
			nl = text.find('\n', at);
			lines.push_back(line + text.substr(at, nl - at));
			line = std::string(37, ' ');
			if (nl == std::string::npos)
				break;
		}
	}
	return lines;
}

} // namespace parameters
