/*
 * skykit - the kit's distances, times and their inverse for Python, on
 * numpy arrays: the arithmetic of expansion.h, inverse.h and columns.h, so
 * that every value is the double skytable prints with -digits 17.
 *
 * A Universe is a model, immutable.  Its methods take a float (and give a
 * float) or anything array-like (and give a float64 array of its shape),
 * split arrays among threads with the GIL released, and raise TypeError or
 * ValueError naming the argument that is wrong.
 */
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sched.h>

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
#include "named.h"
#include "kernels.h"
#include "inverse.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

using arguments::number;
using arguments::threads_for;

/* Universe()'s parameters, in its order. */
const char *const parameters[] = {"h0",	  "omega_m", "lambda0", "radiation", "w0",	  "wa",	    "exact",
				  "tcmb0", "neff",    "m_nu",	 "flat",      "neutrinos", "sigma8"};

/* Whether this thread is in a call of the Universe type, which alone may
 * allocate a Universe. */
thread_local bool making = false;

/* The inverse of one quantity in one universe, prepared once, with its guide. */
struct Inverse {
	inverse::Guide guide;
	inverse::Problem problem;
};

struct Universe {
	expansion::Universe u;
	std::mutex lock; /* over inverses and the growth */
	std::map<int, std::unique_ptr<Inverse>> inverses;
};

/* The growth of structure, solved at its first use, for the columns that
 * need it; a RuntimeWarning where there is none. */
void
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

/* The column of a name, or ValueError listing the names. */
const columns::Column &
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
void
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
void
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
std::vector<py::array_t<double>>
table(Universe &self, const arguments::Values &z, const std::vector<columns::Id> &ids, const py::object &threads)
{
	need_growth(self, ids);
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
std::vector<columns::Id>
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
py::dict
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
py::object
redshift(Universe &self, const py::object &quantity_name, const py::object &values, const py::object &threads)
{
	std::string quantity = arguments::name(quantity_name, "quantity");
	if (quantity == "d_A")
		throw py::value_error(std::string("quantity: ") + columns::two_redshifts);
	const columns::Column &c = column(quantity, "quantity");
	if (c.use != columns::invertible)
		throw py::value_error("quantity: not one of " + columns::names(columns::invertible) + ": '" + quantity + "'");
	need_growth(self, {c.id});
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

/* A parameter's value: a number, unfit values refused with ValueError. */
double
parameter(const py::handle &x, const char *name, expansion::Parameter p)
{
	double v = number(x, name);
	if (const char *why = expansion::unfit(p, v))
		throw py::value_error(std::string(name) + ": " + why);
	return v;
}

/* The model of Universe()'s arguments.  lambda0 and radiation are None
 * where not given: 0.73 and 4.165e-5, unless the vacuum closes the budget
 * (flat) or photons follow a temperature (tcmb0); neff, m_nu and neutrinos
 * need a temperature. */
expansion::Model
model_of(const py::object &h0, const py::object &omega_m, const py::object &lambda0, const py::object &radiation,
	 const py::object &w0, const py::object &wa, const py::object &exact, const py::object &tcmb0,
	 const py::object &neff, const py::object &m_nu, const py::object &flat, const py::object &neutrinos,
	 const py::object &sigma8)
{
	using namespace expansion;
	Model m;
	for (auto flag : {std::make_pair(&exact, "exact"), std::make_pair(&flat, "flat")})
		if (!PyBool_Check(flag.first->ptr()))
			throw py::type_error(std::string(flag.second) + ": expected True or False");
	m.exact = exact.cast<bool>();
	m.flat = flat.cast<bool>();
	m.H0 = parameter(h0, "h0", H0_p);
	m.Omega_M = parameter(omega_m, "omega_m", Omega_M_p);
	if (!lambda0.is_none() && m.flat)
		throw py::value_error("lambda0: flat=True closes the budget with the vacuum");
	if (!lambda0.is_none())
		m.Lambda0 = parameter(lambda0, "lambda0", Lambda0_p);
	if (!radiation.is_none() && !tcmb0.is_none())
		throw py::value_error("radiation: with tcmb0 the photons follow the CMB temperature");
	if (!radiation.is_none())
		m.radiation = parameter(radiation, "radiation", radiation_p);
	m.w0 = parameter(w0, "w0", w0_p);
	m.wa = parameter(wa, "wa", wa_p);
	if (!tcmb0.is_none())
		m.tcmb = parameter(tcmb0, "tcmb0", tcmb_p);
	m.neff = parameter(neff, "neff", neff_p);
	if (py::isinstance<py::str>(m_nu) || py::isinstance<py::bytes>(m_nu))
		throw py::type_error("m_nu: expected a mass or a sequence of masses, in eV");
	if (py::hasattr(m_nu, "__iter__")) {
		for (const py::handle &x : m_nu)
			m.masses.push_back(parameter(x, "m_nu", mass_p));
	} else {
		m.masses.push_back(parameter(m_nu, "m_nu", mass_p));
	}
	/* No mass above 0 is none at all. */
	if (std::all_of(m.masses.begin(), m.masses.end(), [](double x) { return x == 0; }))
		m.masses.clear();
	if (!py::isinstance<py::str>(neutrinos) ||
	    (neutrinos.cast<std::string>() != "exact" && neutrinos.cast<std::string>() != "fit"))
		throw py::value_error("neutrinos: expected 'exact' or 'fit'");
	m.fit = neutrinos.cast<std::string>() == "fit";
	if (m.tcmb < 0 && (m.neff != Model().neff || !m.masses.empty() || m.fit))
		throw py::value_error(std::string(m.neff != Model().neff ? "neff" : !m.masses.empty() ? "m_nu" : "neutrinos") +
				      ": the neutrinos follow the CMB temperature: give tcmb0");
	std::string why = unfit_masses(m);
	if (!why.empty())
		throw py::value_error("m_nu: " + why);
	why = swamped(content(m));
	if (!why.empty())
		throw py::value_error(std::string(m.tcmb >= 0 ? "tcmb0: " : "radiation: ") + why);
	if (!sigma8.is_none())
		m.sigma8 = parameter(sigma8, "sigma8", sigma8_p);
	return m;
}

/* Python's text of a float. */
std::string
text(double x)
{
	return py::repr(py::float_(x));
}

/* Universe(...) as it was called, or as it would be to make it again:
 * lambda0 unless flat, radiation unless a temperature, the neutrinos with
 * one. */
std::string
repr(const Universe &self)
{
	const expansion::Model &m = self.u.m;
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
	return r + ")";
}

/* The arguments that make the universe again, in Universe()'s order. */
py::tuple
remade(const Universe &self)
{
	const expansion::Model &m = self.u.m;
	py::object none = py::none();
	return py::make_tuple(m.H0, m.Omega_M, m.flat ? none : py::float_(m.Lambda0),
			      m.tcmb >= 0 ? none : py::float_(m.radiation), m.w0, m.wa, m.exact,
			      m.tcmb >= 0 ? py::float_(m.tcmb) : none, m.neff, py::tuple(py::cast(m.masses)), m.flat,
			      m.fit ? "fit" : "exact", std::isnan(m.sigma8) ? none : py::float_(m.sigma8));
}

/* A universe made as self was, with the parameters in changes in place of
 * its own; lambda0 without flat makes it curved, as skytable's -lambda
 * does over a flat -cosmology. */
py::object
changed(const py::object &self, const py::kwargs &changes)
{
	py::tuple made = remade(self.cast<const Universe &>());
	py::dict kwargs;
	for (std::size_t k = 0; k < made.size(); k++)
		kwargs[parameters[k]] = made[k];
	if (changes.contains("lambda0") && !changes.contains("flat"))
		kwargs["flat"] = false;
	for (const auto &item : changes)
		kwargs[item.first] = item.second;
	return self.get_type()(**kwargs);
}

/* The universe of an astropy cosmology, read from its attributes: the
 * classes with a cosmological constant, constant w, or w0/wa or wp/wa
 * dark energy, flat or not; the neutrinos by the fit astropy uses. */
py::object
from_astropy(const py::object &cls, const py::object &cosmo)
{
	static const char *const known[] = {"LambdaCDM", "FlatLambdaCDM", "wCDM",	 "FlatwCDM",
					    "w0waCDM",	 "Flatw0waCDM",	  "wpwaCDM", "FlatwpwaCDM"};
	std::string kind = py::str(cosmo.get_type().attr("__name__"));
	if (std::find(std::begin(known), std::end(known), kind) == std::end(known))
		throw py::type_error("from_astropy: " + kind +
				     " is not one of LambdaCDM, wCDM, w0waCDM, wpwaCDM or their Flat forms");
	bool flat = kind.compare(0, 4, "Flat") == 0;
	double w0 = -1, wa = 0;
	if (py::hasattr(cosmo, "wp")) {
		double wp = cosmo.attr("wp").cast<double>(), ap = 1 / (1 + cosmo.attr("zp").attr("value").cast<double>());
		wa = cosmo.attr("wa").cast<double>();
		w0 = wp - wa * (1 - ap);
	} else if (py::hasattr(cosmo, "w0")) {
		w0 = cosmo.attr("w0").cast<double>();
		wa = py::hasattr(cosmo, "wa") ? cosmo.attr("wa").cast<double>() : 0;
	}
	py::object masses = cosmo.attr("m_nu");
	masses = masses.is_none() ? py::object(py::float_(0.0)) : masses.attr("value");
	py::dict kwargs("h0"_a = cosmo.attr("H0").attr("value"), "omega_m"_a = cosmo.attr("Om0"), "w0"_a = w0,
			"wa"_a = wa, "tcmb0"_a = cosmo.attr("Tcmb0").attr("value"), "neff"_a = cosmo.attr("Neff"),
			"m_nu"_a = masses, "flat"_a = flat, "neutrinos"_a = "fit");
	if (!flat)
		kwargs["lambda0"] = cosmo.attr("Ode0");
	return cls(**kwargs);
}

} // namespace

PYBIND11_MODULE(skykit, mod)
{
	mod.attr("__version__") = KIT_VERSION;
	mod.doc() = "Cosmological distances, times and their inverse on numpy arrays: every value the double\n"
		    "skytable prints with -digits 17 for the same parameters and rule.\n\n"
		    "    >>> import skykit\n"
		    "    >>> skykit.Universe().d_L(1.0)\n"
		    "    6452.298374882598\n";
	py::object meta = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject *>(&PyType_Type))(
		"UniverseType", py::make_tuple(py::reinterpret_borrow<py::object>(
					reinterpret_cast<PyObject *>(py::detail::get_internals().default_metaclass))),
		py::dict());
	meta.attr("__call__") = py::reinterpret_steal<py::object>(PyInstanceMethod_New(
		py::cpp_function([](py::handle cls, py::args args, py::kwargs kwargs) {
			/* An unknown keyword names itself and the parameters. */
			for (const auto &item : kwargs) {
				std::string key = py::str(item.first);
				if (std::find(std::begin(parameters), std::end(parameters), key) == std::end(parameters)) {
					std::string list;
					for (const char *p : parameters)
						list += (list.empty() ? "" : ", ") + std::string(p);
					throw py::type_error("Universe(): no parameter '" + key + "'; the parameters are " + list);
				}
			}
			making = true;
			struct Done {
				~Done() { making = false; }
			} done;
			return py::reinterpret_borrow<py::object>(
				       reinterpret_cast<PyObject *>(py::detail::get_internals().default_metaclass))
				.attr("__call__")(cls, *args, **kwargs);
		}).ptr()));
	meta.attr("__module__") = "skykit";
	py::class_<Universe> universe(mod, "Universe", py::metaclass(meta),
				      "A universe with matter, vacuum energy or dark energy w(a) = w0 + wa (1 - a),\n"
				      "radiation, and the curvature the densities imply; h0 in km/s/Mpc.\n\n"
				      "Radiation is Omega_r h^2 = radiation (4.165e-5) on top of the budget, or with\n"
				      "tcmb0 (K) photons and neutrinos that follow from the CMB temperature and count\n"
				      "in it: neff species, masses m_nu (eV; one for all, or one each), their density\n"
				      "by the exact Fermi-Dirac integral or, neutrinos='fit', by astropy's fit.\n"
				      "flat=True closes the budget with the vacuum instead of lambda0 (0.73).\n"
				      "exact=True (the default) takes the integrals to their true values; False, by\n"
				      "the 1000-step midpoint rule skydepth prints.  Immutable, hashable, picklable.\n\n"
				      "Each method takes a float (or a 0-d array), giving a float, or anything\n"
				      "array-like, giving a float64 array of its shape: a masked array gives one with\n"
				      "its mask, a pandas array's NA gives nan; None, strings, dates, complex numbers\n"
				      "and objects raise TypeError naming the argument.  A negative redshift gives 0\n"
				      "for the distances and nan for the rest, and one RuntimeWarning a call counts\n"
				      "them.  threads=None uses every processor.  Ctrl-C stops a long call.");
	universe.def(py::init([](const py::object &h0, const py::object &omega_m, const py::object &lambda0,
				 const py::object &radiation, const py::object &w0, const py::object &wa,
				 const py::object &exact, const py::object &tcmb0, const py::object &neff,
				 const py::object &m_nu, const py::object &flat, const py::object &neutrinos,
				 const py::object &sigma8) {
			     expansion::Model m = model_of(h0, omega_m, lambda0, radiation, w0, wa, exact, tcmb0,
							   neff, m_nu, flat, neutrinos, sigma8);
			     auto u = std::make_unique<Universe>();
			     u->u = expansion::universe(m);
			     return u;
		     }),
		     "h0"_a = 73, "omega_m"_a = 0.27, "lambda0"_a = py::none(), "radiation"_a = py::none(),
		     "w0"_a = -1, "wa"_a = 0, "exact"_a = true, "tcmb0"_a = py::none(), "neff"_a = 3.046,
		     "m_nu"_a = 0.0, "flat"_a = false, "neutrinos"_a = "exact", "sigma8"_a = py::none());
	/* Universe() and its subclasses' calls make the object under a metaclass
	 * that lets the type's allocation through; anything else that reaches
	 * it, Universe.__new__(Universe) alone, is refused, since it would make
	 * an object with no model in it. */
	auto *type = reinterpret_cast<PyTypeObject *>(universe.ptr());
	type->tp_new = [](PyTypeObject *t, PyObject *args, PyObject *kwargs) -> PyObject * {
		if (!making) {
			PyErr_SetString(PyExc_TypeError, "Universe.__new__: a Universe is made by Universe(...)");
			return nullptr;
		}
		making = false;
		return py::detail::pybind11_object_new(t, args, kwargs);
	};
	PyType_Modified(type);
	universe.def("__repr__", &repr);
	universe.def("__reduce__", [](const py::object &self) {
		return py::make_tuple(self.get_type(), remade(self.cast<const Universe &>()));
	});
	universe.def("__eq__", [](const Universe &a, const py::object &b) -> py::object {
		if (!py::isinstance<Universe>(b))
			return py::reinterpret_borrow<py::object>(Py_NotImplemented);
		return py::bool_(remade(a).equal(remade(b.cast<const Universe &>())));
	});
	universe.def("__hash__", [](const Universe &self) { return py::hash(remade(self)); });
	universe.def("clone", &changed, "A Universe like this one with the parameters given changed, as in\n"
				      "skykit.Planck18.clone(neutrinos='fit'); lambda0 alone makes it not flat.");
	universe.def_static("from_astropy", [](const py::object &cosmo) {
		return from_astropy(py::module_::import("skykit").attr("Universe"), cosmo);
	}, "cosmo"_a, "The universe of an astropy cosmology (LambdaCDM, wCDM, w0waCDM, wpwaCDM, flat or\n"
		      "not), its massive neutrinos by astropy's fit, so that every value is astropy's.");
	universe.def_property_readonly("h0", [](const Universe &s) { return s.u.m.H0; }, "Hubble constant, km/s/Mpc");
	universe.def_property_readonly("omega_m", [](const Universe &s) { return s.u.m.Omega_M; }, "matter density parameter");
	universe.def_property_readonly("lambda0", [](const Universe &s) { return s.u.m.Lambda0; }, "vacuum energy density parameter");
	universe.def_property_readonly("radiation", [](const Universe &s) { return s.u.m.radiation; }, "radiation density Omega_r h^2");
	universe.def_property_readonly("w0", [](const Universe &s) { return s.u.m.w0; }, "dark energy's w today");
	universe.def_property_readonly("wa", [](const Universe &s) { return s.u.m.wa; }, "its change, w = w0 + wa (1 - a)");
	universe.def_property_readonly("exact", [](const Universe &s) { return s.u.m.exact; }, "whether the integrals are exact");
	universe.def_property_readonly("tcmb0", [](const Universe &s) -> py::object {
		return s.u.m.tcmb >= 0 ? py::object(py::float_(s.u.m.tcmb)) : py::none(); }, "CMB temperature today, K, or None");
	universe.def_property_readonly("neff", [](const Universe &s) { return s.u.m.neff; }, "effective number of neutrino species");
	universe.def_property_readonly("m_nu", [](const Universe &s) { return py::tuple(py::cast(s.u.m.masses)); },
				       "neutrino masses, eV: one for every species, or one each");
	universe.def_property_readonly("flat", [](const Universe &s) { return s.u.m.flat; }, "whether the vacuum closes the budget");
	universe.def_property_readonly("neutrinos", [](const Universe &s) { return s.u.m.fit ? "fit" : "exact"; },
				       "massive neutrinos' density: 'exact' or astropy's 'fit'");
	universe.def_property_readonly("omega_k", [](const Universe &s) { return s.u.Omega_k; }, "curvature density parameter");
	universe.def_property_readonly("sigma8", [](const Universe &s) -> py::object {
		return std::isnan(s.u.m.sigma8) ? py::none() : py::object(py::float_(s.u.m.sigma8)); }, "sigma8 today, or None");
	universe.def_property_readonly("omega_gamma", [](const Universe &s) { return s.u.photons; },
				       "photon density parameter today, with a temperature");
	universe.def_property_readonly("omega_nu", [](const Universe &s) { return s.u.neutrinos; },
				       "neutrino density parameter today, with a temperature");

	for (const columns::Column &c : columns::table) {
		if (c.id == columns::z || c.use == columns::pair)
			continue;
		std::string doc = std::string(c.what) + (*c.unit ? std::string(", in ") + c.unit : "") + ", at redshift z.";
		columns::Id id = c.id;
		universe.def(
			c.name,
			[id](Universe &self, const py::object &z, const py::object &threads) -> py::object {
				arguments::Values values = arguments::values(z, "z");
				return arguments::result(values, table(self, values, {id}, threads)[0]);
			},
			"z"_a, py::kw_only(), "threads"_a = py::none(), doc.c_str());
	}
	universe.def(
		"table",
		[](Universe &self, const py::object &z, const py::object &names, const py::object &threads) {
			std::vector<std::string> keys;
			std::vector<columns::Id> ids = column_list(names, keys, false);
			arguments::Values values = arguments::values(z, "z");
			auto arrays = table(self, values, ids, threads);
			py::dict out;
			for (std::size_t k = 0; k < ids.size(); k++)
				out[keys[k].c_str()] = arguments::result(values, arrays[k]);
			return out;
		},
		"z"_a, "columns"_a = py::make_tuple("d_L", "d_c", "d_A"), py::kw_only(), "threads"_a = py::none(),
		"The columns named, a dict of name to value (or array), from one pass over z.");
	universe.def("between", &between, "z1"_a, "z2"_a, "columns"_a = py::make_tuple("d_c12", "d_M12", "d_A12"),
		     py::kw_only(), "threads"_a = py::none(),
		     "The columns of pairs, a lens at z1 and a source at z2, broadcast against each other:\n"
		     "d_c12, d_M12, d_A12 (Mpc, from z1 to z2), Sigma_crit (M_sun/pc^2) and D_dt (Mpc); a dict\n"
		     "of name to value (or array); nan where z1 > z2, and one RuntimeWarning counting them.");
	universe.def("redshift", &redshift, "quantity"_a, "values"_a, py::kw_only(), "threads"_a = py::none(),
		     "The smallest redshift at which quantity (d_L, d_c in Mpc, mu in mag, V_c in Gpc^3,\n"
		     "t_age, t_lookback in Gyr, or z) takes each value; nan where none does.");
	/* The published sets, as skytable -cosmology NAME -exact has them. */
	for (const named::Cosmology &c : named::table) {
		py::tuple masses = py::tuple(py::cast(std::vector<double>(c.mass, c.mass + c.masses)));
		mod.attr(c.name) = universe("h0"_a = c.H0, "omega_m"_a = c.Omega_M, "tcmb0"_a = c.tcmb, "neff"_a = c.neff,
					    "m_nu"_a = c.masses ? py::object(masses) : py::object(py::float_(0.0)),
					    "flat"_a = true);
	}
}
