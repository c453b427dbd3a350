/*
 * The yardstick for skytable's arithmetic: the comoving sum for many
 * redshifts as a plain loop that the compiler vectorizes by itself, with the
 * same operations in the same order.  Prints microseconds per redshift.
 */
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

int
main()
{
	const int n = 40000;
	const double radiation = 0.4165 / 73 / 73, matter = 0.27, vacuum = 0.73;
	std::vector<double> a_emit(n), sum(n);
	for (int k = 0; k < n; k++)
		a_emit[k] = 1.0 / (1.0 + 10.0 * k / n);

	auto start = std::chrono::steady_clock::now();
	for (int i = 0; i < 1000; i++)
		for (int k = 0; k < n; k++) {
			double ae = a_emit[k], a = ae + ((1 - ae) * (i + 0.5)) / 1000;
			double r = std::sqrt(0 + radiation / a / a + matter / a + vacuum * a * a);
			sum[k] += 1 / (a * r);
		}
	std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
	double check = 0;
	for (double s : sum)
		check += s;
	std::printf("%.3f\n", took.count() / n + check * 0);
	return 0;
}
