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

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "columns.h"
#include "methods.h"
#include "model.h"
#include "named.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

using methods::Universe;

/* Whether this thread is in a call of the Universe type, which alone may
 * allocate a Universe. */
thread_local bool making = false;

/* A universe made as self was, with the parameters in changes in place of
 * its own; lambda0 without flat makes it curved, as skytable's -lambda
 * does over a flat -cosmology. */
py::object
changed(const py::object &self, const py::kwargs &changes)
{
	py::tuple made = model::remade(self.cast<const Universe &>().u.m);
	std::vector<const parameters::Parameter *> order = model::in_order();
	py::dict kwargs;
	for (std::size_t k = 0; k < made.size(); k++)
		kwargs[order[k]->keyword] = made[k];
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
	py::object baryons = cosmo.attr("Ob0");
	py::dict kwargs("h0"_a = cosmo.attr("H0").attr("value"), "omega_m"_a = cosmo.attr("Om0"), "w0"_a = w0,
			"wa"_a = wa, "tcmb0"_a = cosmo.attr("Tcmb0").attr("value"), "neff"_a = cosmo.attr("Neff"),
			"m_nu"_a = masses, "flat"_a = flat, "neutrinos"_a = "fit");
	if (!flat)
		kwargs["lambda0"] = cosmo.attr("Ode0");
	if (!baryons.is_none() && baryons.cast<double>() > 0)
		kwargs["omega_b"] = baryons;
	return cls(**kwargs);
}

/* The Universe type's own type: its calls, Universe() and its subclasses',
 * alone may allocate a Universe. */
py::object
universe_type()
{
	py::object meta = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject *>(&PyType_Type))(
		"UniverseType", py::make_tuple(py::reinterpret_borrow<py::object>(
					reinterpret_cast<PyObject *>(py::detail::get_internals().default_metaclass))),
		py::dict());
	meta.attr("__call__") = py::reinterpret_steal<py::object>(PyInstanceMethod_New(
		py::cpp_function([](py::handle cls, py::args args, py::kwargs kwargs) {
			making = true;
			struct Done {
				~Done() { making = false; }
			} done;
			return py::reinterpret_borrow<py::object>(
				       reinterpret_cast<PyObject *>(py::detail::get_internals().default_metaclass))
				.attr("__call__")(cls, *args, **kwargs);
		}).ptr()));
	meta.attr("__module__") = "skykit";
	return meta;
}

const char universe_doc[] =
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
	"them.  threads=None uses every processor.  Ctrl-C stops a long call.";

/* Universe(...) from its arguments (model.h), made only through its
 * type's call; what it was made of, as it prints, pickles, compares and
 * hashes; clone() and from_astropy(). */
void
define_making(py::class_<Universe> &universe)
{
	expansion::Model defaults;
	defaults.exact = true;
	std::string call = "Universe(";
	for (const parameters::Parameter *p : model::in_order())
		call += std::string(p->position ? ", " : "") + p->keyword + "=" +
			(p->traits & parameters::decided ? "None" : std::string(py::repr(model::value(*p, defaults))));
	universe.def(py::init([](const py::args &args, const py::kwargs &kwargs) {
			     auto u = std::make_unique<Universe>();
			     u->u = expansion::universe(model::of(args, kwargs));
			     return u;
		     }),
		     (call + "): the arguments, by position or keyword, as the class describes them.").c_str());
	/* Anything else that reaches the type's allocation, Universe.__new__(Universe)
	 * alone, is refused, since it would make an object with no model in it. */
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
	universe.def("__repr__", [](const Universe &self) { return model::repr(self.u.m); });
	universe.def("__reduce__", [](const py::object &self) {
		return py::make_tuple(self.get_type(), model::remade(self.cast<const Universe &>().u.m));
	});
	universe.def("__eq__", [](const Universe &a, const py::object &b) -> py::object {
		if (!py::isinstance<Universe>(b))
			return py::reinterpret_borrow<py::object>(Py_NotImplemented);
		return py::bool_(model::remade(a.u.m).equal(model::remade(b.cast<const Universe &>().u.m)));
	});
	universe.def("__hash__", [](const Universe &self) { return py::hash(model::remade(self.u.m)); });
	universe.def("clone", &changed, "A Universe like this one with the parameters given changed, as in\n"
				      "skykit.Planck18.clone(neutrinos='fit'); lambda0 alone makes it not flat.");
	universe.def_static("from_astropy", [](const py::object &cosmo) {
		return from_astropy(py::module_::import("skykit").attr("Universe"), cosmo);
	}, "cosmo"_a, "The universe of an astropy cosmology (LambdaCDM, wCDM, w0waCDM, wpwaCDM, flat or\n"
		      "not), its massive neutrinos by astropy's fit, so that every value is astropy's.");
}

/* What a parameter is, from its line of --help (or that of the line it
 * shares): up to a colon, a line end or its default in parentheses. */
std::string
what_it_is(const parameters::Parameter &p)
{
	std::string what = p.what ? p.what : parameters::of(parameters::w0).what;
	return what.substr(0, std::min(what.rfind(" ("), what.find_first_of(":\n")));
}

/* A property for each parameter, and the densities that follow from them. */
void
define_properties(py::class_<Universe> &universe)
{
	for (const parameters::Parameter &p : parameters::table) {
		if (p.position < 0)
			continue;
		std::string doc = what_it_is(p) + (p.traits & parameters::unset ? "; None where there is none" : "");
		const parameters::Parameter *q = &p;
		universe.def_property_readonly(p.keyword, [q](const Universe &s) { return model::value(*q, s.u.m); },
					       doc.c_str());
	}
	universe.def_property_readonly("omega_k", [](const Universe &s) { return s.u.Omega_k; }, "curvature density parameter");
	universe.def_property_readonly("omega_gamma", [](const Universe &s) { return s.u.photons; },
				       "photon density parameter today, with a temperature");
	universe.def_property_readonly("omega_nu", [](const Universe &s) { return s.u.neutrinos; },
				       "neutrino density parameter today, with a temperature");
	/* The ruler's numbers, solved once, at the first that is read. */
	const struct {
		const char *name;
		double ruler::Ruler::*number;
		const char *doc;
	} numbers[] = {{"z_star", &ruler::Ruler::z_star, "where the Thomson optical depth reaches 1; nan without baryons"},
		       {"r_star", &ruler::Ruler::r_star, "the comoving sound horizon at z_star, Mpc"},
		       {"theta_star", &ruler::Ruler::theta_star, "100 times its angle, r_star over d_M(z_star)"},
		       {"z_drag", &ruler::Ruler::z_drag, "the drag epoch: where the baryons' drag depth reaches 1"},
		       {"r_drag", &ruler::Ruler::r_drag, "the comoving sound horizon at z_drag, Mpc: the kit's r_d"},
		       {"z_eq", &ruler::Ruler::z_eq, "matter-radiation equality, every neutrino counted as radiation"}};
	for (const auto &n : numbers) {
		double ruler::Ruler::*number = n.number;
		universe.def_property_readonly(
			n.name, [number](Universe &s) { return methods::ruler_of(s, true).*number; }, n.doc);
	}
}

/* A method for each column of one redshift; those seen at an observed
 * redshift take it as z_hel. */
void
define_columns(py::class_<Universe> &universe)
{
	using namespace methods;
	for (const columns::Column &c : columns::table) {
		if (c.id == columns::z || c.use == columns::pair || c.use == columns::frame)
			continue;
		std::string doc = std::string(c.what) + (*c.unit ? std::string(", in ") + c.unit : "") + ", at redshift z.";
		columns::Id id = c.id;
		if (!columns::observed(id)) {
			universe.def(
				c.name,
				[id](Universe &self, const py::object &z, const py::object &threads) -> py::object {
					arguments::Values values = arguments::values(z, "z");
					return arguments::result(values, table(self, values, {id}, threads)[0]);
				},
				"z"_a, py::kw_only(), "threads"_a = py::none(), doc.c_str());
			continue;
		}
		doc += "\nWith z_hel, an object's cosmological z observed at z_hel (heliocentric), the two\n"
		       "broadcast together: d_L = (1 + z_hel) d_M(z), d_A = d_M(z)/(1 + z_hel).";
		universe.def(
			c.name,
			[id](Universe &self, const py::object &z, const py::object &z_hel, const py::object &threads) -> py::object {
				if (!z_hel.is_none())
					return seen(self, id, z, z_hel, threads);
				arguments::Values values = arguments::values(z, "z");
				return arguments::result(values, table(self, values, {id}, threads)[0]);
			},
			"z"_a, py::kw_only(), "z_hel"_a = py::none(), "threads"_a = py::none(), doc.c_str());
	}
}

/* The frames of a redshift, which need no universe. */
void
define_frames(py::module_ &mod)
{
	using namespace methods;
	mod.def("cmb_redshift", &cmb_redshift, "z_hel"_a, "ra"_a, "dec"_a, py::kw_only(), "threads"_a = py::none(),
		"The redshift in the frame of the microwave background of objects observed at z_hel\n"
		"(heliocentric) at ICRS ra, dec in degrees, broadcast together: 1 + z_cmb = (1 + z_hel) /\n"
		"(gamma (1 - beta cos theta)), the Sun moving at 369.82 km/s toward galactic l = 264.021,\n"
		"b = 48.253 degrees (Planck 2018), theta its angle to the object; nan off the sky.");
	mod.def("cosmological_redshift", &cosmological_redshift, "z"_a, "v_pec"_a, py::kw_only(),
		"threads"_a = py::none(),
		"The cosmological redshift of objects at z (the CMB frame's) moving away at v_pec km/s along\n"
		"the line of sight, broadcast together: 1 + z_cos = (1 + z) / sqrt((1 + v/c) / (1 - v/c));\n"
		"nan where |v_pec| is c or more.");
}

/* table(), between() and redshift(). */
void
define_methods(py::class_<Universe> &universe)
{
	using namespace methods;
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
	py::class_<Universe> universe(mod, "Universe", py::metaclass(universe_type()), universe_doc);
	define_making(universe);
	define_properties(universe);
	define_columns(universe);
	define_methods(universe);
	define_frames(mod);
	/* The published sets, as skytable -cosmology NAME -exact has them. */
	for (const named::Cosmology &c : named::table) {
		expansion::Model m = named::model(c);
		m.exact = true;
		mod.attr(c.name) = universe(*model::remade(m));
	}
}
