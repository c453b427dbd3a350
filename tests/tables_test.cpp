#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "columns.h"
#include "kernels.h"

// The exact rule's tables against the direct integrals they replace: the
// tables are what skytable -exact and the module print, and the direct
// rule is reached from outside only where the tables leave a value to it,
// so both are taken here, in-process.

namespace {

// A universe of each kind the kit holds: flat, open and closed, with and
// without radiation, photons and neutrinos exact and by the fit, evolving
// dark energy, and a universe with the growth of structure solved.
std::vector<expansion::Model>
universes()
{
	std::vector<expansion::Model> models;
	models.reserve(12);
	auto add = [&](double H0, double Om, double L, double radiation, double w0, double wa) {
		expansion::Model m;
		m.H0 = H0, m.Omega_M = Om, m.Lambda0 = L, m.radiation = radiation, m.w0 = w0, m.wa = wa, m.exact = true;
		models.push_back(m);
	};
	add(73, 0.27, 0.73, 4.165e-5, -1, 0); // the default
	add(70, 0.3, 0.7, 0, -1, 0);	       // flat, no radiation
	add(70, 0.3, 0.5, 0, -1, 0);	       // open
	add(70, 0.3, 0.9, 4.165e-5, -1, 0);    // closed
	add(70, 1, 0, 4.165e-5, -1, 0);	       // matter alone
	add(70, 0.3, 0.7, 0, -0.9, 0.2);       // evolving dark energy
	add(70, 0.3, 0.7, 0, -1.1, -0.4);      // phantom
	add(70, 0.3, 1.2, 4.165e-5, -1, 0);    // closed
	for (int k = 0; k < 4; k++) {
		expansion::Model m;
		m.H0 = 67.66, m.Omega_M = 0.30966, m.tcmb = 2.7255, m.exact = true, m.flat = k != 2;
		m.masses = {0, 0, 0.06 + k * 0.1}, m.fit = k % 2;
		m.w0 = k == 3 ? -0.9 : -1, m.wa = k == 3 ? 0.1 : 0;
		models.push_back(m);
	}
	return models;
}

// Redshifts over the whole of the tables, densely: log-uniform from 1e-9,
// uniform to 10, and each side of every panel's ends.
std::vector<double>
redshifts()
{
	std::mt19937_64 rng(41);
	std::vector<double> zs;
	zs.reserve(4000 + 3 * expansion::tables::count + 4);
	for (int k = 0; k < 3000; k++)
		zs.push_back(std::exp(std::uniform_real_distribution<double>(std::log(1e-9), std::log(1.6e4))(rng)));
	for (int k = 0; k < 1000; k++)
		zs.push_back(std::uniform_real_distribution<double>(0, 10)(rng));
	for (int p = 0; p <= expansion::tables::count; p++) {
		double lo, hi;
		expansion::tables::ends(std::min(p, expansion::tables::count - 1), lo, hi);
		double edge = p == expansion::tables::count ? hi : lo;
		for (double side : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1e5)})
			if (side >= 1)
				zs.push_back(side - 1);
	}
	zs.push_back(0);
	return zs;
}

} // namespace

TEST(Tables, EveryColumnWithinTheDirectIntegrals)
{
	const std::vector<double> zs = redshifts();
	for (const expansion::Model &m : universes()) {
		expansion::Universe u = expansion::universe(m);
		ASSERT_TRUE(u.tables) << "H0 " << m.H0 << " Omega_M " << m.Omega_M;
		u.growth = growth::of(u);
		growth::Growth steps = *u.growth;
		steps.D_table.clear(), steps.f_table.clear();
		expansion::Universe reference = u;
		reference.growth = std::make_shared<growth::Growth>(steps);
		std::vector<expansion::Depth> tabled(zs.size());
		expansion::depths(expansion::fastest(true, true, zs.size()), u, zs.data(), zs.size(), tabled.data());
		for (std::size_t k = 0; k < zs.size(); k++) {
			double age, lookback, comoving;
			expansion::direct(zs[k], u, age, lookback, comoving);
			expansion::Depth d = expansion::depth(zs[k], u, age, lookback, comoving);
			growth::at(steps, reference, zs[k], d.D, d.f);
			for (const columns::Column &c : columns::table) {
				if (c.use == columns::pair || c.use == columns::frame || columns::needs(c.id) != columns::nothing ||
				    (c.id == columns::fsigma8 && std::isnan(m.sigma8)))
					continue;
				double want = columns::value(c.id, zs[k], u, d), got = columns::value(c.id, zs[k], u, tabled[k]);
				// mu is a logarithm: 1e-13 of d_L is 5e-13/ln 10 of it.
				double within = 1e-13 * std::fabs(want) + (c.id == columns::mu ? 5e-13 / std::log(10) : 0);
				EXPECT_TRUE(std::fabs(got - want) <= within || got == want ||
					    (std::isnan(got) && std::isnan(want)))
					<< c.name << " at z = " << zs[k] << ": " << got << ", not " << want << ", H0 " << m.H0 << " Omega_M " << m.Omega_M
					<< " Lambda " << m.Lambda0 << " w0 " << m.w0 << " masses " << m.masses.size();
			}
		}
	}
}

TEST(Tables, NearlyStoppedLeftToTheDirectRule)
{
	// A closed universe whose expansion nearly stops at z ~ 1.5 (the
	// Friedmann sum's least value 1e-4): the panels around the stop are
	// left to the direct rule, the distances beyond are taken up again
	// from it, and the integrals agree with it throughout; so do D and f,
	// steep there, with the steps.  (Its distances are ill-conditioned
	// near the antipode, so only the integrals are held.)
	expansion::Model m;
	m.H0 = 70, m.Omega_M = 0.3, m.Lambda0 = 1.7133358, m.radiation = 0, m.exact = true;
	expansion::Universe u = expansion::universe(m);
	const std::vector<double> zs = redshifts();
	std::vector<double> age(zs.size()), lookback(zs.size()), comoving(zs.size());
	expansion::fastest(true, true, zs.size())(zs.data(), zs.size(), u, age.data(), lookback.data(), comoving.data());
	int left = 0;
	for (int p = 0; p < expansion::tables::count; p++)
		left += std::isnan(u.tables->comoving[p]);
	EXPECT_GT(left, 10);
	for (std::size_t k = 0; k < zs.size(); k++) {
		double want[3];
		expansion::direct(zs[k], u, want[0], want[1], want[2]);
		const double got[3] = {age[k], lookback[k], comoving[k]};
		for (int i = 0; i < 3; i++)
			EXPECT_NEAR(got[i], want[i], 1e-13 * std::fabs(want[i])) << "integral " << i << " at z = " << zs[k];
	}
	std::shared_ptr<const growth::Growth> g = growth::of(u);
	growth::Growth steps = *g;
	steps.D_table.clear(), steps.f_table.clear();
	for (double z : zs) {
		double D, f, D0, f0;
		growth::at(*g, u, z, D, f);
		growth::at(steps, u, z, D0, f0);
		EXPECT_NEAR(D, D0, 1e-13 * std::fabs(D0)) << "D at z = " << z;
		EXPECT_NEAR(f, f0, 1e-13 * std::fabs(f0)) << "f at z = " << z;
	}
}

TEST(Tables, TodayExactly)
{
	// At z = 0 the distances and the lookback time are 0 and D is the
	// steps' own value (1, or within a unit of it), to the last bit.
	for (const expansion::Model &m : universes()) {
		expansion::Universe u = expansion::universe(m);
		u.growth = growth::of(u);
		double z = 0, age, lookback, comoving, D, f, D0, f0;
		expansion::integrals<true>(z, u, age, lookback, comoving);
		EXPECT_EQ(comoving, 0);
		EXPECT_EQ(lookback, 0);
		growth::at(*u.growth, u, 0, D, f);
		growth::Growth steps = *u.growth;
		steps.D_table.clear();
		growth::at(steps, u, 0, D0, f0);
		EXPECT_TRUE(D == D0 || (std::isnan(D) && std::isnan(D0))) << D << " " << D0;
	}
}
