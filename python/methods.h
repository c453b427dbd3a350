/*
 * What a Universe's methods compute on numpy arrays, the arithmetic of
 * expansion.h, inverse.h and columns.h: the columns at each redshift, the
 * columns of pairs, and the redshifts of values, each array shared among
 * threads with the GIL released, the growth and each inverse prepared once
 * per universe at their first use.
 */
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "arguments.h"
#include "columns.h"
#include "growth.h"
#include "inverse.h"
#include "kernels.h"
#include "ruler.h"

namespace methods {

namespace py = pybind11;
using arguments::threads_for;

/* The inverse of one quantity in one universe, prepared once, with its guide. */
struct Inverse {
	inverse::Guide guide;
	inverse::Problem problem;
};

/* A Universe's model, and what it prepares at first use. */
struct Universe {
	expansion::Universe u;
	std::mutex lock; /* over inverses and the growth */
	std::map<int, std::unique_ptr<Inverse>> inverses;
};

/* The growth of structure, solved at its first use, for the columns that
 * need it; a RuntimeWarning where there is none. */
inline void
need_growth(Universe &self, const std::vector<columns::Id> &ids)
{
	bool needed = false;
	for (columns::Id c : ids) {
		needed = needed || columns::grows(c);
		if (c == columns::fsigma8 && std::isnan(self.u.m.sigma8))
			throw py::value_error("fsigma8: this Universe has no sigma8; give Universe(sigma8=...)");
	}
	if (!needed)
		return;
	{
		std::lock_guard<std::mutex> hold(self.lock);
		if (!self.u.growth)
			self.u.growth = growth::of(self.u);
	}
	if (self.u.growth->dark &&
	    PyErr_WarnEx(PyExc_RuntimeWarning, growth::dark_note, 1) < 0)
		throw py::error_already_set();
}

/* The ruler of the baryons, built at its first use, with the thermal
 * history where a use needs it; ValueError where the universe has none to
 * give. */
inline const ruler::Ruler &
ruler_of(Universe &self, bool thermal)
{
	std::lock_guard<std::mutex> hold(self.lock);
	if (!self.u.ruler || (thermal && !self.u.ruler->thermal))
		self.u.ruler = ruler::of(self.u, thermal);
	return *self.u.ruler;
}

/* The ruler for the columns that need it: ValueError naming the first
 * whose baryons or r_d this Universe lacks. */
inline void
need_ruler(Universe &self, const std::vector<columns::Id> &ids)
{
	const expansion::Model &m = self.u.m;
	bool horizons = false, thermal = false;
	for (columns::Id c : ids) {
		columns::Need need = columns::needs(c);
		bool r_d = !std::isnan(m.r_d) || m.r_d_fit;
		if (need == columns::baryons && std::isnan(m.Omega_b))
			throw py::value_error(std::string(columns::table[c].name) +
					      ": this Universe has no baryons; give Universe(omega_b=...)");
		if (need == columns::ruler_length && std::isnan(m.Omega_b) && !r_d)
			throw py::value_error(std::string(columns::table[c].name) +
					      ": this Universe has no r_d; give Universe(omega_b=...) or Universe(r_d=...)");
		horizons = horizons || need != columns::nothing;
		thermal = thermal || need == columns::baryons || (need == columns::ruler_length && !r_d);
	}
	if (horizons)
		ruler_of(self, thermal);
}

/* The column of a name, or ValueError listing the names. */
inline const columns::Column &
column(const std::string &name, const char *argument)
{
	if (const columns::Column *c = columns::named(name.data(), name.size()))
		return *c;
	throw py::value_error(std::string(argument) + ": no column '" + name + "'; the columns are " +
			      columns::names());
}

/* The values a thread takes at a time: the unit of work between two looks
 * at Python's signals, a few milliseconds at most. */
const std::size_t piece = 1024;

/*
 * Runs work(first, count) over [0, count), piece by piece, on threads
 * threads without the GIL.  Every 20 ms or so the calling thread takes the
 * GIL between its pieces and runs Python's signal handlers: one that raises
 * (Ctrl-C's KeyboardInterrupt) stops every thread after its piece, and its
 * exception is raised here.
 */
template <typename Work>
inline void
share(std::size_t count, int threads, Work work)
{
	std::atomic<std::size_t> next{0};
	std::atomic<bool> stop{false};
	auto take = [&] {
		std::size_t first = next.fetch_add(piece);
		if (first < count && !stop)
			work(first, std::min(piece, count - first));
		return first < count && !stop;
	};
	bool raised = false;
	{
		py::gil_scoped_release release;
		std::vector<std::thread> pool;
		for (int t = 1; t < threads; t++)
			pool.emplace_back([&] {
				while (take())
					;
			});
		auto looked = std::chrono::steady_clock::now();
		while (take()) {
			if (std::chrono::steady_clock::now() - looked < std::chrono::milliseconds(20))
				continue;
			py::gil_scoped_acquire hold;
			raised = PyErr_CheckSignals() != 0;
			stop = raised;
			looked = std::chrono::steady_clock::now();
		}
		for (std::thread &t : pool)
			t.join();
	}
	if (raised)
		throw py::error_already_set();
}

/* Warns once, where there are any, of the negative redshifts among count
 * at zs, whose distances are 0 and the rest nan. */
inline void
warn_negative(const double *zs, std::size_t count)
{
	std::size_t negative = std::count_if(zs, zs + count, [](double x) { return x < 0; });
	if (negative && PyErr_WarnEx(PyExc_RuntimeWarning,
				     (std::to_string(negative) + " negative redshift" + (negative == 1 ? "" : "s") +
				      ": distances 0, the rest nan")
					     .c_str(),
				     2) < 0)
		throw py::error_already_set();
}

/* The columns at every z, one array each, from one pass. */
inline std::vector<py::array_t<double>>
table(Universe &self, const arguments::Values &z, const std::vector<columns::Id> &ids, const py::object &threads)
{
	need_growth(self, ids);
	need_ruler(self, ids);
	const py::array_t<double> &in = z.array;
	warn_negative(in.data(), in.size());
	std::vector<py::array_t<double>> out;
	for (std::size_t c = 0; c < ids.size(); c++)
		out.emplace_back(std::vector<py::ssize_t>(in.shape(), in.shape() + in.ndim()));
	std::size_t count = in.size();
	bool times = false, lookback = false;
	for (columns::Id c : ids)
		times = times || c == columns::t_age || c == columns::t_now, lookback = lookback || c == columns::t_lookback;
	expansion::Kernel *kernel = expansion::fastest(times, lookback, count);
	const double *zs = in.data();
	std::vector<double *> to;
	for (auto &a : out)
		to.push_back(a.mutable_data());
	share(count, threads_for(threads, count), [&](std::size_t first, std::size_t n) {
		std::vector<expansion::Depth> d(n);
		expansion::depths(kernel, self.u, zs + first, n, d.data());
		for (std::size_t c = 0; c < ids.size(); c++)
			for (std::size_t j = 0; j < n; j++)
				to[c][first + j] = columns::value(ids[c], zs[first + j], self.u, d[j]);
	});
	return out;
}

/* The columns a names argument lists, their names in keys: of pairs, or
 * not; TypeError or ValueError naming the argument. */
inline std::vector<columns::Id>
column_list(const py::object &names, std::vector<std::string> &keys, bool pairs)
{
	if (py::isinstance<py::str>(names) || py::isinstance<py::bytes>(names))
		throw py::type_error("columns: expected a sequence of names, not one name");
	std::vector<columns::Id> ids;
	for (const py::handle &n : names) {
		keys.push_back(arguments::name(n, "columns"));
		const columns::Column &c = column(keys.back(), "columns");
		if ((c.use == columns::pair) != pairs)
			throw py::value_error("columns: '" + keys.back() + (pairs ? "' is not a column of pairs; those are "
										: "' is a column of pairs, for between(); those are ") +
					      columns::names(columns::pair));
		ids.push_back(c.id);
	}
	return ids;
}

/* The pair columns for z1 and z2 broadcast together, from one pass over
 * both. */
inline py::dict
between(Universe &self, const py::object &z1, const py::object &z2, const py::object &names, const py::object &threads)
{
	std::vector<std::string> keys;
	std::vector<columns::Id> ids = column_list(names, keys, true);
	arguments::Values a = arguments::values(z1, "z1"), b = arguments::values(z2, "z2");
	py::tuple both;
	try {
		both = py::module_::import("numpy").attr("broadcast_arrays")(a.array, b.array);
	} catch (py::error_already_set &e) {
		throw py::value_error(std::string("z1, z2: shapes that do not broadcast: ") + e.what());
	}
	py::array_t<double> A = arguments::values(both[0], "z1").array, B = arguments::values(both[1], "z2").array;
	std::size_t count = A.size();
	std::vector<py::array_t<double>> out;
	for (std::size_t c = 0; c < ids.size(); c++)
		out.emplace_back(std::vector<py::ssize_t>(A.shape(), A.shape() + A.ndim()));
	expansion::Kernel *kernel = expansion::fastest(false, false, 2 * count);
	const double *p = A.data(), *q = B.data();
	std::vector<double *> to;
	for (auto &x : out)
		to.push_back(x.mutable_data());
	share(count, threads_for(threads, count), [&](std::size_t first, std::size_t n) {
		std::vector<double> zs(2 * n);
		std::vector<expansion::Depth> d(2 * n);
		std::copy(p + first, p + first + n, zs.begin());
		std::copy(q + first, q + first + n, zs.begin() + n);
		expansion::depths(kernel, self.u, zs.data(), 2 * n, d.data());
		for (std::size_t c = 0; c < ids.size(); c++)
			for (std::size_t j = 0; j < n; j++)
				to[c][first + j] = columns::pair_value(ids[c], zs[j], zs[n + j], self.u, d[j], d[n + j]);
	});
	warn_negative(A.data(), count);
	warn_negative(B.data(), count);
	std::size_t reversed = 0;
	for (std::size_t j = 0; j < count; j++)
		reversed += p[j] > q[j];
	if (reversed && PyErr_WarnEx(PyExc_RuntimeWarning,
				     (std::to_string(reversed) + (reversed == 1 ? " pair" : " pairs") +
				      " with z1 above z2: columns nan")
					     .c_str(),
				     1) < 0)
		throw py::error_already_set();
	arguments::Values shape;
	shape.one = a.one && b.one;
	if (!a.mask.is_none() || !b.mask.is_none())
		shape.mask = py::module_::import("numpy").attr("logical_or")(a.mask.is_none() ? py::object(py::bool_(false)) : a.mask,
									     b.mask.is_none() ? py::object(py::bool_(false)) : b.mask);
	py::dict result;
	for (std::size_t k = 0; k < ids.size(); k++)
		result[keys[k].c_str()] = arguments::result(shape, out[k]);
	return result;
}

/* The redshifts at which quantity takes the values: value k solved as skytable
 * solves line k + 1 (from line 513 on, from the guide). */
inline py::object
redshift(Universe &self, const py::object &quantity_name, const py::object &values, const py::object &threads)
{
	std::string quantity = arguments::name(quantity_name, "quantity");
	if (quantity == "d_A")
		throw py::value_error(std::string("quantity: ") + columns::two_redshifts);
	const columns::Column &c = column(quantity, "quantity");
	if (c.use != columns::invertible)
		throw py::value_error("quantity: not one of " + columns::names(columns::invertible) + ": '" + quantity + "'");
	need_growth(self, {c.id});
	need_ruler(self, {c.id});
	Inverse *inv;
	{
		std::lock_guard<std::mutex> hold(self.lock);
		auto &slot = self.inverses[c.id];
		if (!slot) {
			slot.reset(new Inverse);
			inverse::pose(slot->problem, c.id, self.u, &slot->guide, false, false);
		}
		inv = slot.get();
	}
	arguments::Values given = arguments::values(values, "values");
	const py::array_t<double> &in = given.array;
	py::array_t<double> out(std::vector<py::ssize_t>(in.shape(), in.shape() + in.ndim()));
	std::size_t count = in.size();
	const double *v = in.data();
	double *z = out.mutable_data();
	if (c.id == columns::z)
		std::copy(v, v + count, z);
	else
		share(count, threads_for(threads, count), [&](std::size_t first, std::size_t n) {
			std::vector<long> lines(n);
			std::vector<expansion::Depth> d(n);
			for (std::size_t j = 0; j < n; j++)
				lines[j] = static_cast<long>(first + j + 1);
			inverse::redshifts(inv->problem, v + first, lines.data(), n, z + first, d.data());
		});
	return arguments::result(given, out);
}

} // namespace methods
