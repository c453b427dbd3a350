/*
 * skytable - skydepth's distances, and on request its times, for a whole
 * catalog of redshifts: one tab-separated line for each line of input.
 *
 * The lines stream through blocks and worker threads (stream.h); here they
 * are parsed, computed several redshifts at a time in the lanes of a
 * vector, and formatted.
 */
#include <sched.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "expansion.h"
#include "finish.h"
#include "notes.h"
#include "stream.h"

static const char usage[] = "usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] "
			    "[-lambda Lambda0] [-threads N] [z ...]\n";

static const char *const help[] = {
	"usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] [-lambda Lambda0] "
	"[-threads N] [z ...]",
	"  z ...                              redshifts; without any, the lines of standard input",
	"  -simple                            only d_L after each redshift",
	"  -verbose                           also t_age, t_lookback and t_now",
	"  -h0, -hubble H0                    Hubble constant in km/s/Mpc (73)",
	"  -omega, -matter Omega_M            matter density parameter (0.27)",
	"  -lambda, -vacuum, -vaccum Lambda0  vacuum energy density parameter (0.73)",
	"  -threads N                         at most N threads (one per processor)",
	"  --                                 ends the options, before a redshift such as -1",
	"  --help, --version                  this text, or the version",
	nullptr};

typedef void Kernel(const double *a_emit, std::size_t count, const expansion::Universe &u,
		    double *age, double *lookback, double *comoving);

/* What every block is computed with. */
struct Setup {
	expansion::Universe u;
	int form; /* -1 d_L only, 0 the three distances, 1 distances and times */
	Kernel *kernel;
};

static bool number(const char *text, const char *stop, double *value);
__attribute__((format(printf, 1, 2))) static int bad_usage(const char *format, ...);
static Kernel *fastest_kernel(bool times);
static void compute(stream::Block &b, const void *setup);
static void put(std::string &out, double x);

int
main(int argc, char *argv[])
{
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	int form = 0, threads = 0, i;

	if (answer("skytable", argc, argv, help))
		return finish("skytable");
	for (i = 1; i < argc && argv[i][0] == '-'; i++) {
		const char *o = argv[i];
		if (!std::strcmp(o, "--")) {
			i++;
			break;
		}
		if (!std::strcmp(o, "-simple") || !std::strcmp(o, "-verbose")) {
			form = o[1] == 's' ? -1 : 1;
			continue;
		}
		double *p = !std::strcmp(o, "-h0") || !std::strcmp(o, "-hubble")     ? &H0
			    : !std::strcmp(o, "-omega") || !std::strcmp(o, "-matter") ? &Omega_M
			    : !std::strcmp(o, "-lambda") || !std::strcmp(o, "-vacuum") ||
					    !std::strcmp(o, "-vaccum")
				    ? &Lambda0
				    : nullptr;
		if (!p && std::strcmp(o, "-threads") != 0)
			return bad_usage("unknown option: %s", shown(o).text);
		if (i + 1 == argc)
			return bad_usage("%s needs a value", shown(o).text);
		const char *v = argv[++i];
		double x;
		if (!number(v, v + std::strlen(v), &x))
			return bad_usage("%s: not a number: %s", shown(o).text, shown(v).text);
		if (!p && (x != std::floor(x) || x < 1 || x > stream::max_threads))
			return bad_usage("-threads: not a count from 1 to 64: %s", shown(v).text);
		if (p)
			*p = x;
		else
			threads = static_cast<int>(x);
	}
	for (int k = i; k < argc; k++) {
		double z;
		if (!number(argv[k], argv[k] + std::strlen(argv[k]), &z))
			return bad_usage("argument %d: not a number: %s%s", k, shown(argv[k]).text,
					 argv[k][0] == '-' && std::isalpha(static_cast<unsigned char>(argv[k][1]))
						 ? " (options come before the redshifts)"
						 : "");
	}

	if (threads == 0) {
		cpu_set_t cpus;
		threads = sched_getaffinity(0, sizeof cpus, &cpus) ? 1 : CPU_COUNT(&cpus);
		threads = threads < 1 ? 1 : threads > stream::max_threads ? stream::max_threads : threads;
	}
	Setup setup = {expansion::universe(H0, Omega_M, Lambda0), form, fastest_kernel(form > 0)};

	stream::Ring r;
	int read_errno = stream::run(r, threads, compute, &setup, argv + i, argc - i);

	/* A lost write is the one failure to report: nothing after it counts. */
	int status = 0;
	if (r.write_errno) {
		errno = r.write_errno;
	} else if (r.bad_line) {
		std::fprintf(stderr, "skytable: line %ld: not a number: %s\n", r.bad_line,
			     r.bad_text.c_str());
		status = 1;
	} else if (read_errno) {
		std::fprintf(stderr, "skytable: read error: %s\n", std::strerror(read_errno));
		status = 1;
	}
	return finish("skytable") | status;
}

/* The widest vector path this processor runs. */
static Kernel *
fastest_kernel(bool times)
{
#if defined(__x86_64__) || defined(__i386__)
	if (expansion::have_avx512())
		return times ? expansion::lane_sums_avx512<true> : expansion::lane_sums_avx512<false>;
	if (expansion::have_avx2())
		return times ? expansion::lane_sums_avx2<true> : expansion::lane_sums_avx2<false>;
#endif
	return times ? expansion::lane_sums_base<true> : expansion::lane_sums_base<false>;
}

/* Whether the text up to stop, with blanks around it allowed, is one whole
 * number.  *stop is a newline or the terminating zero, where strtod stops. */
static bool
number(const char *text, const char *stop, double *value)
{
	while (text < stop && stream::blank(*text))
		text++;
	/* strtod would skip other white space (a form feed, a newline) itself. */
	if (text == stop || std::strchr(" \t\n\v\f\r", *text))
		return false;
	char *end;
	*value = std::strtod(text, &end);
	if (end == text)
		return false;
	while (end < stop && stream::blank(*end))
		end++;
	return end == stop;
}

static int
bad_usage(const char *format, ...)
{
	std::va_list args;
	va_start(args, format);
	std::fputs("skytable: ", stderr);
	std::vfprintf(stderr, format, args);
	std::fprintf(stderr, "\n%s", usage);
	va_end(args);
	return 1;
}
/* The end of the line at l: its newline, or the end of the block. */
static const char *
line_end(const char *l, const char *end)
{
	auto nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
	return nl ? nl : end;
}

/* Parses a block's lines, computes the numbers and formats what it prints.
 * A line that is not a number ends the block's output before it. */
static void
compute(stream::Block &b, const void *setup)
{
	const Setup &s = *static_cast<const Setup *>(setup);
	const char *end = b.in.data() + b.in.size();
	std::vector<double> &zs = b.scratch[0], &a_emit = b.scratch[1], *sums = b.scratch + 2;
	zs.clear();
	a_emit.clear();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		stop = line_end(l, end);
		std::size_t k = std::strspn(l, " \t\r");
		double z;
		if (l + k == stop || l[k] == '#')
			continue;
		if (!number(l, stop, &z)) {
			b.bad_line = line;
			b.bad_text = shown(l + k, stop - l - k).text;
			end = l;
			break;
		}
		zs.push_back(z);
		a_emit.push_back(expansion::emission(z));
	}

	std::size_t count = zs.size();
	for (int k = 0; k < 3; k++)
		sums[k].resize(count);
	s.kernel(a_emit.data(), count, s.u, sums[0].data(), sums[1].data(), sums[2].data());

	std::size_t n = 0;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1) {
		stop = line_end(l, end);
		std::size_t k = std::strspn(l, " \t\r");
		if (l + k == stop || l[k] == '#') {
			b.out.append(l, stop).push_back('\n');
			continue;
		}
		const char *last = stop;
		while (stream::blank(last[-1]))
			last--;
		b.out.append(l + k, last);
		double z = zs[n];
		expansion::Depth d = {0, 0, 0, NAN, NAN, NAN}; /* no distance: skydepth's 0 Mpc */
		if (!(z < 0))
			d = expansion::depth(z, a_emit[n], s.u, sums[0][n], sums[1][n], sums[2][n]);
		n++;
		put(b.out, d.d_L);
		if (s.form >= 0) {
			put(b.out, d.d_c);
			put(b.out, d.d_A);
		}
		if (s.form > 0) {
			put(b.out, d.t_age);
			put(b.out, d.t_lookback);
			put(b.out, d.t_now);
		}
		b.out.push_back('\n');
	}
}

/* A tab and x as %g prints it: six significant digits. */
static void
put(std::string &out, double x)
{
	char buf[32];
	char *p = buf;
	*p++ = '\t';
	if (std::isnan(x) || std::isinf(x)) {
		if (std::signbit(x))
			*p++ = '-';
		std::memcpy(p, std::isnan(x) ? "nan" : "inf", 3);
		p += 3;
	} else {
		p = std::to_chars(p, buf + sizeof buf, x, std::chars_format::general, 6).ptr;
	}
	out.append(buf, p);
}
