/*
 * The yardstick for skytable's arithmetic: the comoving sum, the same
 * operations in the same order, for blocks of 16 redshifts summed side by
 * side over the 1000 steps, each block's sums held in registers.  Built for
 * this machine (-march=native), it is the best the processor's divider and
 * square root unit can do.  Prints microseconds per redshift.
 */
#include <chrono>
#include <cmath>
#include <cstdio>

typedef double v8 __attribute__((vector_size(64)));

int
main()
{
	const int n = 40000, width = 8, blocks = 2;
	const double radiation = 0.4165 / 73 / 73, matter = 0.27, vacuum = 0.73;
	double check = 0;

	auto start = std::chrono::steady_clock::now();
	for (int k = 0; k < n; k += width * blocks) {
		v8 a_emit[blocks], sum[blocks];
		for (int b = 0; b < blocks; b++) {
			for (int j = 0; j < width; j++)
				a_emit[b][j] = 1.0 / (1.0 + 10.0 * (k + b * width + j) / n);
			sum[b] = v8{};
		}
		for (int i = 0; i < 1000; i++)
			for (int b = 0; b < blocks; b++) {
				v8 ae = a_emit[b], a = ae + ((1 - ae) * (i + 0.5)) / 1000;
				v8 q = 0 + radiation / a / a + matter / a + vacuum * a * a, r;
				for (int j = 0; j < width; j++)
					r[j] = std::sqrt(q[j]);
				sum[b] += 1 / (a * r);
			}
		for (int b = 0; b < blocks; b++)
			for (int j = 0; j < width; j++)
				check += sum[b][j];
	}
	std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
	std::printf("%.3f\n", took.count() / n + check * 0);
	return 0;
}
