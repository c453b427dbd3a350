/*
 * Two yardsticks for skytable, built for this machine (-march=native).
 *
 * plainloop	the arithmetic's: the comoving sum, the same operations in
 *		the same order, for blocks of 16 redshifts summed side by side
 *		over the 1000 steps, each block's sums held in registers: the
 *		best the processor's divider and square root unit can do.
 *		Prints microseconds per redshift.
 * plainloop text
 *		the text's: lines read by fgets and strtod from standard
 *		input, each written back with one more number (its double) by
 *		to_chars in the shortest general form of 6 digits, as skytable
 *		writes z and d_L: what reading and writing the numbers alone
 *		costs, with no arithmetic.
 */
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

typedef double v8 __attribute__((vector_size(64)));

static int
text()
{
	char line[4096], out[128];
	static char buffer[1 << 16];
	std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
	while (std::fgets(line, sizeof line, stdin)) {
		double z = std::strtod(line, nullptr);
		char *p = std::to_chars(out, out + 48, z, std::chars_format::general, 6).ptr;
		*p++ = '\t';
		p = std::to_chars(p, out + sizeof out - 1, 2 * z, std::chars_format::general, 6).ptr;
		*p++ = '\n';
		std::fwrite(out, 1, p - out, stdout);
	}
	return std::fflush(stdout) != 0;
}

int
main(int argc, char **argv)
{
	if (argc > 1 && !std::strcmp(argv[1], "text"))
		return text();
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
