/*
 * What skykit's arguments become, as numpy's conventions have it: a number,
 * the float64 values of anything array-like, a name, a count of threads.
 * What cannot be one raises TypeError or ValueError naming the argument:
 * None, strings (also inside sequences), dates, complex numbers, objects.
 * A masked array's mask comes back on the result, a pandas array's NA
 * goes in as nan, and a 0-d array comes back as a float, as a scalar does.
 */
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <climits>
#include <string>

#include "processors.h"

namespace arguments {

namespace py = pybind11;
using namespace pybind11::literals;

inline std::string
type_name(const py::handle &x)
{
	return py::str(x.get_type().attr("__name__"));
}

/* A number argument: an int, a float or a numpy scalar, not a string, not
 * an array. */
inline double
number(const py::handle &x, const char *name)
{
	if (!PyNumber_Check(x.ptr()) || PyUnicode_Check(x.ptr()) || PyBytes_Check(x.ptr()) ||
	    PyComplex_Check(x.ptr()) || (py::hasattr(x, "ndim") && x.attr("ndim").cast<int>() != 0))
		throw py::type_error(std::string(name) + ": expected a number, not " + type_name(x));
	double v = PyFloat_AsDouble(x.ptr());
	if (v == -1 && PyErr_Occurred()) {
		PyErr_Clear();
		throw py::type_error(std::string(name) + ": expected a number, not " + type_name(x));
	}
	return v;
}

/* A name argument, str or bytes, as UTF-8; ValueError for text that has
 * none (a lone surrogate). */
inline std::string
name(const py::handle &x, const char *argument)
{
	if (PyBytes_Check(x.ptr()))
		return std::string(PyBytes_AsString(x.ptr()), PyBytes_Size(x.ptr()));
	if (!PyUnicode_Check(x.ptr()))
		throw py::type_error(std::string(argument) + ": expected a name, not " + type_name(x));
	Py_ssize_t size;
	const char *text = PyUnicode_AsUTF8AndSize(x.ptr(), &size);
	if (!text) {
		PyErr_Clear();
		throw py::value_error(std::string(argument) + ": a name that is not text (a lone surrogate)");
	}
	return std::string(text, size);
}

/* The threads to share count values among: threads' count (an int, a
 * numpy integer), or without one every processor, no more than a thread
 * for each thousand values. */
inline int
threads_for(const py::object &threads, std::size_t count)
{
	long long n;
	if (threads.is_none()) {
		n = processors();
	} else {
		if (PyBool_Check(threads.ptr()) || !PyIndex_Check(threads.ptr()))
			throw py::type_error("threads: expected an int or None, not " + type_name(threads));
		int overflow = 0;
		py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(threads.ptr()));
		n = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
		if (overflow || n < 1 || n > INT_MAX)
			throw py::value_error("threads: expected a count from 1 to " + std::to_string(INT_MAX) + ", not " +
					      std::string(py::str(threads)));
	}
	/* Below a thousand values a thread costs more than it gives. */
	return static_cast<int>(std::max<long long>(1, std::min<long long>(n, count / 1000 + 1)));
}

/* An argument of values, as float64 in contiguous, aligned memory, and
 * what the result made of them is to look like. */
struct Values {
	py::array_t<double> array;
	bool one = false; /* a number or a 0-d array: the result is a float */
	py::object mask = py::none(); /* a masked array's mask, or None */
};

/* The values of x, the argument name. */
inline Values
values(const py::object &x, const char *name)
{
	Values v;
	if (PyFloat_Check(x.ptr()) || (PyLong_Check(x.ptr()) && !PyBool_Check(x.ptr()))) {
		/* A number, the commonest single value, without numpy's calls. */
		double z = PyFloat_AsDouble(x.ptr());
		if (z == -1 && PyErr_Occurred())
			throw py::error_already_set();
		v.array = py::array_t<double>(std::vector<py::ssize_t>{});
		*v.array.mutable_data() = z;
		v.one = true;
		return v;
	}
	py::module_ np = py::module_::import("numpy");
	auto refuse = [&](const std::string &what) {
		return py::type_error(std::string(name) + ": expected numbers, not " + what);
	};
	if (x.is_none() || PyUnicode_Check(x.ptr()) || PyBytes_Check(x.ptr()))
		throw refuse(type_name(x));
	py::object data = x;
	if (py::isinstance(x, np.attr("ma").attr("MaskedArray"))) {
		v.mask = np.attr("ma").attr("getmaskarray")(x);
		data = np.attr("ma").attr("getdata")(x);
	} else if (py::hasattr(x, "to_numpy") && py::hasattr(x, "dtype") &&
		   !py::isinstance(x.attr("dtype"), np.attr("dtype"))) {
		/* pandas' nullable arrays: NA is nan. */
		try {
			data = x.attr("to_numpy")("dtype"_a = "float64", "na_value"_a = NAN);
		} catch (py::error_already_set &e) {
			if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_ValueError))
				throw;
			throw refuse(std::string(py::str(x.attr("dtype"))) + " values");
		}
	}
	py::array a;
	try {
		a = np.attr("asarray")(data);
	} catch (py::error_already_set &e) {
		if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_ValueError))
			throw;
		throw refuse(type_name(x) + " that numpy cannot read: " + e.what());
	}
	char kind = py::str(a.dtype().attr("kind")).cast<std::string>()[0];
	static const char *const kinds[][2] = {{"U", "strings"},	 {"S", "strings"},	 {"M", "dates"},
					       {"m", "time spans"},	 {"c", "complex numbers"}, {"V", "records"},
					       {"O", "objects (None, strings or the like)"}};
	if (!std::strchr("biuf", kind)) {
		const char *what = kinds[6][1];
		for (const auto &k : kinds)
			if (k[0][0] == kind)
				what = k[1];
		throw refuse(what);
	}
	v.array = np.attr("require")(a, "dtype"_a = "float64", "requirements"_a = py::make_tuple("C", "A"));
	v.one = a.ndim() == 0;
	return v;
}

/* The result of out, whose shape is v's: a float, a masked array or an
 * array. */
inline py::object
result(const Values &v, const py::array_t<double> &out)
{
	if (v.one)
		return py::float_(out.data()[0]);
	if (!v.mask.is_none())
		return py::module_::import("numpy").attr("ma").attr("array")(out, "mask"_a = v.mask);
	return out;
}

} // namespace arguments
