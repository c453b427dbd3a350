/*
 * Universe()'s arguments, as the table of parameters (parameters.h) has
 * them: the model they make, each refused with TypeError or ValueError
 * naming it, and back from a model, the arguments that make it again and
 * each parameter's value, as the properties give it.
 */
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "arguments.h"
#include "parameters.h"

namespace model {

namespace py = pybind11;
using parameters::Parameter;

/* The parameters in the order of Universe()'s arguments. */
inline std::vector<const Parameter *>
in_order()
{
	std::vector<const Parameter *> list;
	for (const Parameter &p : parameters::table)
		if (p.position >= 0)
			list.push_back(&p);
	std::sort(list.begin(), list.end(), [](const Parameter *a, const Parameter *b) { return a->position < b->position; });
	return list;
}

/* The keywords, separated by commas. */
inline std::string
keywords()
{
	std::string list;
	for (const Parameter *p : in_order())
		list += (list.empty() ? "" : ", ") + std::string(p->keyword);
	return list;
}

/* Whether two numbers are the same, nan the same as nan. */
inline bool
same(double a, double b)
{
	return a == b || (std::isnan(a) && std::isnan(b));
}

/* Whether m holds p other than the Model's default. */
inline bool
set(const Parameter &p, const expansion::Model &m)
{
	const expansion::Model defaults;
	if (p.field.list)
		return !(m.*p.field.list).empty();
	if (p.field.flag && m.*p.field.flag != defaults.*p.field.flag)
		return true;
	return p.field.number && !same(m.*p.field.number, defaults.*p.field.number);
}

/* Whether the parameter that decides others is on in m: a flag set, or a
 * number given (not the Model's mark for none). */
inline bool
on(const Parameter &p, const expansion::Model &m)
{
	return set(p, m);
}

/* Reads the argument x of parameter p into m; None leaves the Model's
 * own default where p allows it. */
inline void
read(const Parameter &p, const py::handle &x, expansion::Model &m)
{
	const char *key = p.keyword;
	if (x.is_none() && (p.traits & (parameters::decided | parameters::unset)))
		return;
	if (p.form == parameters::flag) {
		if (!PyBool_Check(x.ptr()))
			throw py::type_error(std::string(key) + ": expected True or False");
		m.*p.field.flag = x.cast<bool>();
	} else if (p.form == parameters::choice) {
		std::string words = p.value, first = words.substr(0, words.find('|'));
		if (!py::isinstance<py::str>(x) || (x.cast<std::string>() != first && x.cast<std::string>() != words.substr(first.size() + 1)))
			throw py::value_error(std::string(key) + ": expected '" + first + "' or '" + words.substr(first.size() + 1) + "'");
		m.*p.field.flag = x.cast<std::string>() != first;
	} else if (p.form == parameters::masses) {
		if (py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x))
			throw py::type_error(std::string(key) + ": expected a mass or a sequence of masses, in eV");
		std::vector<double> &list = m.*p.field.list;
		list.clear();
		for (const py::handle &y : py::hasattr(x, "__iter__") ? py::reinterpret_borrow<py::iterable>(x) : py::iterable(py::make_tuple(x))) {
			list.push_back(arguments::number(y, key));
			if (const char *why = parameters::unfit(p.bound, list.back()))
				throw py::value_error(std::string(key) + ": " + why);
		}
		/* No mass above 0 is none at all. */
		if (std::all_of(list.begin(), list.end(), [](double v) { return v == 0; }))
			list.clear();
	} else if (p.form == parameters::number_or_word && py::isinstance<py::str>(x) &&
		   x.cast<std::string>() == std::strchr(p.value, '|') + 1) {
		m.*p.field.flag = true;
	} else {
		double v = arguments::number(x, key);
		if (const char *why = parameters::unfit(p.bound, v))
			throw py::value_error(std::string(key) + ": " + why);
		m.*p.field.number = v;
	}
}

/* The model of Universe()'s arguments, by position or keyword, each
 * refused where it cannot be, and the parameters that do not go together
 * (parameters::relations). */
inline expansion::Model
of(const py::args &args, const py::kwargs &kwargs)
{
	std::vector<const Parameter *> order = in_order();
	if (args.size() > order.size())
		throw py::type_error("Universe() takes at most " + std::to_string(order.size()) + " arguments (" +
				     std::to_string(args.size()) + " given)");
	std::vector<py::object> given(parameters::count, py::none());
	std::vector<bool> named(parameters::count, false);
	for (std::size_t k = 0; k < args.size(); k++)
		given[order[k]->id] = args[k], named[order[k]->id] = true;
	for (const auto &item : kwargs) {
		std::string key = py::str(item.first);
		auto p = std::find_if(order.begin(), order.end(), [&](const Parameter *q) { return key == q->keyword; });
		if (p == order.end())
			throw py::type_error("Universe(): no parameter '" + key + "'; the parameters are " + keywords());
		if (named[(*p)->id])
			throw py::type_error("Universe(): two values for '" + key + "'");
		given[(*p)->id] = py::reinterpret_borrow<py::object>(item.second), named[(*p)->id] = true;
	}
	expansion::Model m;
	/* The integrals' true values are the module's default: they cost less. */
	m.exact = true;
	for (const Parameter *p : order)
		if (named[p->id])
			read(*p, given[p->id], m);
	for (const parameters::Relation &r : parameters::relations) {
		const Parameter &a = parameters::of(r.id), &b = parameters::of(r.other);
		bool other = on(b, m), mine = r.tie == parameters::yields ? !given[r.id].is_none() : set(a, m);
		if (r.tie == parameters::yields && mine && other)
			throw py::value_error(std::string(a.keyword) + ": with " + b.keyword + (b.field.flag ? "=True " : " ") + r.why);
		if (r.tie == parameters::needs && mine && !other)
			throw py::value_error(std::string(a.keyword) + ": " + r.why + ": give " + b.keyword);
	}
	std::string why = expansion::unfit_masses(m);
	if (!why.empty())
		throw py::value_error("m_nu: " + why);
	why = expansion::unfit_baryons(m);
	if (!why.empty())
		throw py::value_error("omega_b: " + why);
	if (m.r_d_fit && std::isnan(m.Omega_b))
		throw py::value_error("r_d: the fit takes the baryons' density: give omega_b");
	why = expansion::swamped(expansion::content(m));
	if (!why.empty())
		throw py::value_error(std::string(m.tcmb >= 0 ? "tcmb0: " : "radiation: ") + why);
	return m;
}

/* p's value in m, as its property gives it: None for a parameter at the
 * Model's mark for none, a tuple of masses, the word of a choice. */
inline py::object
value(const Parameter &p, const expansion::Model &m)
{
	const expansion::Model defaults;
	if (p.field.list)
		return py::tuple(py::cast(m.*p.field.list));
	if (p.form == parameters::number_or_word && m.*p.field.flag)
		return py::str(std::strchr(p.value, '|') + 1);
	if (p.form == parameters::choice) {
		std::string words = p.value;
		return py::str(m.*p.field.flag ? words.substr(words.find('|') + 1) : words.substr(0, words.find('|')));
	}
	if (p.form != parameters::number_or_word && p.field.flag)
		return py::bool_(m.*p.field.flag);
	double x = m.*p.field.number, d = defaults.*p.field.number;
	if ((p.traits & parameters::unset) && same(x, d))
		return py::none();
	return py::float_(x);
}

/* The arguments that make m again, in Universe()'s order: None for one
 * that another decides (lambda0 where the vacuum closes the budget,
 * radiation where a temperature gives it). */
inline py::tuple
remade(const expansion::Model &m)
{
	std::vector<const Parameter *> order = in_order();
	py::tuple made(order.size());
	for (std::size_t k = 0; k < order.size(); k++) {
		made[k] = value(*order[k], m);
		for (const parameters::Relation &r : parameters::relations)
			if (r.id == order[k]->id && r.tie == parameters::yields && on(parameters::of(r.other), m))
				made[k] = py::none();
	}
	return made;
}

/* Python's text of a float. */
inline std::string
text(double x)
{
	return py::repr(py::float_(x));
}

/* Universe(...) as it was called, or as it would be to make it again:
 * lambda0 unless flat, radiation unless a temperature, the neutrinos with
 * one. */
inline std::string
repr(const expansion::Model &m)
{
	std::string r = "Universe(h0=" + text(m.H0) + ", omega_m=" + text(m.Omega_M);
	r += m.flat ? ", flat=True" : ", lambda0=" + text(m.Lambda0);
	if (m.tcmb < 0)
		r += ", radiation=" + text(m.radiation);
	r += ", w0=" + text(m.w0) + ", wa=" + text(m.wa) + ", exact=" + (m.exact ? "True" : "False");
	if (m.tcmb >= 0) {
		r += ", tcmb0=" + text(m.tcmb) + ", neff=" + text(m.neff);
		if (m.masses.size() == 1)
			r += ", m_nu=" + text(m.masses[0]);
		else if (!m.masses.empty()) {
			r += ", m_nu=(";
			for (std::size_t k = 0; k < m.masses.size(); k++)
				r += (k ? ", " : "") + text(m.masses[k]);
			r += ")";
		}
		r += m.fit ? ", neutrinos='fit'" : "";
	}
	if (!std::isnan(m.sigma8))
		r += ", sigma8=" + text(m.sigma8);
	if (!std::isnan(m.Omega_b))
		r += ", omega_b=" + text(m.Omega_b) + (m.Y_He != expansion::Model().Y_He ? ", y_he=" + text(m.Y_He) : "");
	r += m.r_d_fit ? ", r_d='fit'" : !std::isnan(m.r_d) ? ", r_d=" + text(m.r_d) : "";
	return r + ")";
}

} // namespace model
