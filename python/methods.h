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
#include "frames.h"
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

/* Warns once, where there are any, of the count values (one, or many)
 * that make what is nan. */
inline void
warn_none(std::size_t count, const char *one, const char *many, const char *what)
{
	if (count && PyErr_WarnEx(PyExc_RuntimeWarning,
				  (std::to_string(count) + " " + (count == 1 ? one : many) + ": " + what).c_str(), 2) < 0)
		throw py::error_already_set();
}

/* Warns once, where there are any, of the negative redshifts among count
 * at zs, whose distances are 0 and the rest nan. */
inline void
warn_negative(const double *zs, std::size_t count)
{
	warn_none(std::count_if(zs, zs + count, [](double x) { return x < 0; }), "negative redshift", "negative redshifts",
		  "distances 0, the rest nan");
}

/* The columns at every z, one array each, from one pass; with observed,
 * the observed redshift of each z (frames.h). */
inline std::vector<py::array_t<double>>
table(Universe &self, const arguments::Values &z, const std::vector<columns::Id> &ids, const py::object &threads,
      const double *observed = nullptr)
{
	need_growth(self, ids);
	need_ruler(self, ids);
	const py::array_t<double> &in = z.array;
	warn_negative(in.data(), in.size());
	std::vector<py::array_t<double>> out;
	for (std::size_t c = 0; c < ids.size(); c++)
		out.emplace_back(std::vector<py::ssize_t>(in.shape(), in.shape() + in.ndim()));
	std::size_t count = in.size();
	int takes = 0;
	for (columns::Id c : ids)
		takes |= columns::takes(c);
	const int integrals = expansion::takes_comoving | expansion::takes_lookback | expansion::takes_age;
	expansion::Kernel *kernel = takes & integrals ? expansion::fastest(takes & expansion::takes_age,
									   takes & expansion::takes_lookback, count)
						      : nullptr;
	const double *zs = in.data();
	std::vector<double *> to;
	for (auto &a : out)
		to.push_back(a.mutable_data());
	share(count, threads_for(threads, count), [&](std::size_t first, std::size_t n) {
		thread_local std::vector<expansion::Depth> room;
		room.resize(n);
		expansion::Depth *d = room.data();
		expansion::depths(kernel, self.u, zs + first, n, d, takes);
		for (std::size_t c = 0; c < ids.size(); c++)
			for (std::size_t j = 0; j < n; j++)
				to[c][first + j] = observed ? columns::value(ids[c], zs[first + j], self.u,
									     frames::seen(d[j], observed[first + j]))
							    : columns::value(ids[c], zs[first + j], self.u, d[j]);
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
		if (c.use == columns::frame)
			throw py::value_error("columns: '" + keys.back() +
					      "' is a row's frame: skykit.cmb_redshift() and skykit.cosmological_redshift() give it");
		if ((c.use == columns::pair) != pairs)
			throw py::value_error("columns: '" + keys.back() + (pairs ? "' is not a column of pairs; those are "
										: "' is a column of pairs, for between(); those are ") +
					      columns::names(columns::pair));
		ids.push_back(c.id);
	}
	return ids;
}

/* Arguments broadcast together, each float64, and the shape (with the
 * masks of any masked) of a result made of them. */
struct Broadcast {
	std::vector<py::array_t<double>> arrays;
	arguments::Values shape;
};

/* The arguments given, named in names ("z1, z2"), broadcast together;
 * ValueError where they cannot be. */
inline Broadcast
broadcast(const std::vector<arguments::Values> &given, const char *names)
{
	py::module_ np = py::module_::import("numpy");
	py::tuple arrays(given.size());
	for (std::size_t k = 0; k < given.size(); k++)
		arrays[k] = given[k].array;
	py::tuple all;
	try {
		all = np.attr("broadcast_arrays")(*arrays);
	} catch (py::error_already_set &e) {
		throw py::value_error(std::string(names) + ": shapes that do not broadcast: " + e.what());
	}
	Broadcast b;
	b.shape.one = true;
	py::object mask = py::none();
	for (std::size_t k = 0; k < given.size(); k++) {
		b.arrays.push_back(arguments::values(all[k], names).array);
		b.shape.one = b.shape.one && given[k].one;
		if (!given[k].mask.is_none())
			mask = mask.is_none() ? given[k].mask : np.attr("logical_or")(mask, given[k].mask);
	}
	b.shape.mask = mask.is_none() ? mask : np.attr("array")(np.attr("broadcast_to")(mask, b.arrays[0].attr("shape")));
	return b;
}

/* The pair columns for z1 and z2 broadcast together, from one pass over
 * both. */
inline py::dict
between(Universe &self, const py::object &z1, const py::object &z2, const py::object &names, const py::object &threads)
{
	std::vector<std::string> keys;
	std::vector<columns::Id> ids = column_list(names, keys, true);
	Broadcast both = broadcast({arguments::values(z1, "z1"), arguments::values(z2, "z2")}, "z1, z2");
	const py::array_t<double> &A = both.arrays[0], &B = both.arrays[1];
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
		expansion::depths(kernel, self.u, zs.data(), 2 * n, d.data(), expansion::takes_comoving);
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
	py::dict result;
	for (std::size_t k = 0; k < ids.size(); k++)
		result[keys[k].c_str()] = arguments::result(both.shape, out[k]);
	return result;
}

/* The column id at z seen at the observed redshift z_hel, the two
 * broadcast together. */
inline py::object
seen(Universe &self, columns::Id id, const py::object &z, const py::object &z_hel, const py::object &threads)
{
	Broadcast both = broadcast({arguments::values(z, "z"), arguments::values(z_hel, "z_hel")}, "z, z_hel");
	arguments::Values at = both.shape;
	at.array = both.arrays[0];
	const double *observed = both.arrays[1].data();
	py::array_t<double> out = table(self, at, {id}, threads, observed)[0];
	warn_none(std::count_if(observed, observed + at.array.size(), [](double x) { return !frames::visible(x); }),
		  "z_hel of -1 or less", "z_hel of -1 or less", "nan");
	return arguments::result(both.shape, out);
}

/* Each of count values made by make(k) from the arrays broadcast, shared
 * among threads; their shape's result. */
template <typename Make>
inline py::object
made(const Broadcast &b, const py::object &threads, Make make)
{
	std::size_t count = b.arrays[0].size();
	py::array_t<double> out(std::vector<py::ssize_t>(b.arrays[0].shape(), b.arrays[0].shape() + b.arrays[0].ndim()));
	double *to = out.mutable_data();
	share(count, threads_for(threads, count), [&](std::size_t first, std::size_t n) {
		for (std::size_t k = first; k < first + n; k++)
			to[k] = make(k);
	});
	return arguments::result(b.shape, out);
}

/* z_cmb of objects observed at z_hel at ICRS ra, dec (degrees). */
inline py::object
cmb_redshift(const py::object &z_hel, const py::object &ra, const py::object &dec, const py::object &threads)
{
	Broadcast b = broadcast({arguments::values(z_hel, "z_hel"), arguments::values(ra, "ra"), arguments::values(dec, "dec")},
				"z_hel, ra, dec");
	const double *z = b.arrays[0].data(), *a = b.arrays[1].data(), *d = b.arrays[2].data();
	const frames::Motion sun = frames::sun();
	py::object out = made(b, threads, [&](std::size_t k) { return frames::cmb(sun, z[k], a[k], d[k]); });
	std::size_t off = 0, count = b.arrays[0].size();
	for (std::size_t k = 0; k < count; k++)
		off += !frames::on_sky(a[k], d[k]);
	warn_none(off, "position off the sky (ra not a number, dec not within 90 degrees)",
		  "positions off the sky (ra not a number, dec not within 90 degrees)", "z_cmb nan");
	return out;
}

/* z_cos of objects at z_cmb with peculiar velocities v_pec (km/s). */
inline py::object
cosmological_redshift(const py::object &z, const py::object &v_pec, const py::object &threads)
{
	Broadcast b = broadcast({arguments::values(z, "z"), arguments::values(v_pec, "v_pec")}, "z, v_pec");
	const double *zs = b.arrays[0].data(), *v = b.arrays[1].data();
	py::object out = made(b, threads, [&](std::size_t k) { return frames::cosmological(zs[k], v[k]); });
	std::size_t fast = std::count_if(v, v + b.arrays[1].size(), [](double x) { return !frames::below_c(x); });
	warn_none(fast, "velocity not below c", "velocities not below c", "z_cos nan");
	return out;
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
