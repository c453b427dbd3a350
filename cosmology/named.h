/*
 * The published parameter sets users name: each flat, its Omega_M without
 * the neutrinos (its baryons a part of it), its photons and neutrinos from
 * its CMB temperature.
 */
#pragma once

#include <cstring>
#include <string>

#include "content.h"

namespace named {

struct Cosmology {
	const char *name;
	double H0, Omega_M, tcmb, neff;
	int masses; /* how many of mass below */
	double mass[3];
	double Omega_b;
};

/* As astropy's realizations of them have them. */
const Cosmology table[] = {
	{"Planck18", 67.66, 0.30966, 2.7255, 3.046, 3, {0, 0, 0.06}, 0.04897},
	{"Planck15", 67.74, 0.3075, 2.7255, 3.046, 3, {0, 0, 0.06}, 0.0486},
	{"Planck13", 67.77, 0.30712, 2.7255, 3.046, 3, {0, 0, 0.06}, 0.048252},
	{"WMAP9", 69.32, 0.2865, 2.725, 3.04, 0, {}, 0.04628},
	{"WMAP7", 70.4, 0.272, 2.725, 3.04, 0, {}, 0.0455},
	{"WMAP5", 70.2, 0.277, 2.725, 3.04, 0, {}, 0.0459},
};

/* The set of a name, or null. */
inline const Cosmology *
find(const char *name)
{
	for (const Cosmology &c : table)
		if (!std::strcmp(name, c.name))
			return &c;
	return nullptr;
}

/* The names, separated by commas. */
inline std::string
names()
{
	std::string list;
	for (const Cosmology &c : table)
		list.append(list.empty() ? "" : ", ").append(c.name);
	return list;
}

/* The model of a set. */
inline expansion::Model
model(const Cosmology &c)
{
	expansion::Model m;
	m.H0 = c.H0, m.Omega_M = c.Omega_M, m.tcmb = c.tcmb, m.neff = c.neff, m.Omega_b = c.Omega_b;
	m.masses.assign(c.mass, c.mass + c.masses);
	m.flat = true;
	return m;
}

} // namespace named
