/*
 * skytable - skydepth's distances, and on request its times, for a whole
 * catalog of redshifts: one tab-separated line for each line of input; or,
 * with -from, the redshift at which a distance or a time is reached.
 *
 * The lines stream through blocks and worker threads (stream.h); here they
 * are parsed, computed several at a time in the lanes of a vector (forward
 * in expansion.h, inverse in inverse.h), and formatted.
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
#include "inverse.h"
#include "notes.h"
#include "stream.h"

static const char usage[] = "usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] "
			    "[-lambda Lambda0] [-from Q] [-digits N] [-threads N] [value ...]\n";

static const char *const help[] = {
	"usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] [-lambda Lambda0] [-from Q] [-digits N] [-threads N] [value ...]",
	"  value ...                          redshifts; without any, the lines of standard input",
	"  -simple                            only d_L after each redshift",
	"  -verbose                           also t_age, t_lookback and t_now",
	"  -h0, -hubble H0                    Hubble constant in km/s/Mpc (73)",
	"  -omega, -matter Omega_M            matter density parameter (0.27)",
	"  -lambda, -vacuum, -vaccum Lambda0  vacuum energy density parameter (0.73)",
	"  -from Q                            the values are Q: z, d_L or d_c in Mpc, t_lookback or",
	"                                     t_age in Gyr; each gets its redshift, then its line:",
	"                                     skytable -from d_L 6452.3 finds z = 1",
	"  -digits N                          significant digits of every number, 1 to 17 (6)",
	"  -threads N                         at most N threads (one per processor)",
	"  --                                 ends the options, before a value such as -1",
	"  --help, --version                  this text, or the version",
	nullptr};

/* What every block is computed with. */
struct Setup {
	expansion::Universe u;
	int form;   /* -1 d_L only, 0 the three distances, 1 distances and times */
	int digits; /* significant digits of every number written */
	inverse::Problem inverse; /* the kernel, and what the values are */
};

static bool number(const char *text, const char *stop, double *value);
__attribute__((format(printf, 1, 2))) static int bad_usage(const char *format, ...);
static expansion::Kernel *fastest_kernel(bool times, bool lookback);
static int quantity(const char *word);
static void compute(stream::Block &b, const void *setup);
static void put(std::string &out, double x, int digits);

int
main(int argc, char *argv[])
{
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	int form = 0, threads = 0, digits = 6, from = inverse::z, i;

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
		if (!std::strcmp(o, "-from")) {
			if (i + 1 == argc)
				return bad_usage("-from needs a value");
			from = quantity(argv[++i]);
			if (!std::strcmp(argv[i], "d_A"))
				return bad_usage("-from d_A: every d_A below its greatest belongs to two "
						 "redshifts; give d_L or d_c");
			if (from < 0)
				return bad_usage("-from: not z, d_L, d_c, t_lookback or t_age: %s",
						 shown(argv[i]).text);
			continue;
		}
		double *p = !std::strcmp(o, "-h0") || !std::strcmp(o, "-hubble")     ? &H0
			    : !std::strcmp(o, "-omega") || !std::strcmp(o, "-matter") ? &Omega_M
			    : !std::strcmp(o, "-lambda") || !std::strcmp(o, "-vacuum") ||
					    !std::strcmp(o, "-vaccum")
				    ? &Lambda0
				    : nullptr;
		bool count = !std::strcmp(o, "-threads") || !std::strcmp(o, "-digits");
		if (!p && !count)
			return bad_usage("unknown option: %s", shown(o).text);
		if (i + 1 == argc)
			return bad_usage("%s needs a value", shown(o).text);
		const char *v = argv[++i];
		double x;
		if (!number(v, v + std::strlen(v), &x))
			return bad_usage("%s: not a number: %s", shown(o).text, shown(v).text);
		int most = o[1] == 't' ? stream::max_threads : 17;
		if (!p && (x != std::floor(x) || x < 1 || x > most))
			return bad_usage("%s: not a count from 1 to %d: %s", o, most, shown(v).text);
		if (p)
			*p = x;
		else
			(o[1] == 't' ? threads : digits) = static_cast<int>(x);
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
	inverse::Guide guide;
	Setup setup = {expansion::universe(H0, Omega_M, Lambda0), form, digits, {}};
	/* The lookback time shares the comoving sum's samples and costs little
	 * more; the age has samples of its own. */
	setup.inverse = {static_cast<inverse::Quantity>(from), &setup.u,
			 fastest_kernel(form > 0 || from == inverse::t_age, from == inverse::t_lookback),
			 &guide, {}};
	if (from != inverse::z)
		inverse::prepare(setup.inverse);

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

/* The widest vector path this processor runs, with the sums asked for. */
static expansion::Kernel *
fastest_kernel(bool times, bool lookback)
{
	using namespace expansion;
#if defined(__x86_64__) || defined(__i386__)
	if (have_avx512())
		return times ? lane_sums_avx512<true> : lookback ? lane_sums_avx512<false, true>
								 : lane_sums_avx512<false>;
	if (have_avx2())
		return times ? lane_sums_avx2<true> : lookback ? lane_sums_avx2<false, true>
							       : lane_sums_avx2<false>;
#endif
	return times ? lane_sums_base<true> : lookback ? lane_sums_base<false, true>
						       : lane_sums_base<false>;
}

/* The quantity -from names, or -1. */
static int
quantity(const char *word)
{
	static const char *const words[] = {"z", "d_L", "d_c", "t_lookback", "t_age"};
	for (int q = 0; q < 5; q++)
		if (!std::strcmp(word, words[q]))
			return q;
	return -1;
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

/* Parses a block's lines, computes the numbers and formats what it prints:
 * for a redshift its distances (and times); for another quantity's value
 * the redshift at which it is reached, then that redshift's numbers.  A
 * line that is not a number ends the block's output before it. */
static void
compute(stream::Block &b, const void *setup)
{
	const Setup &s = *static_cast<const Setup *>(setup);
	const char *end = b.in.data() + b.in.size();
	std::vector<double> values;
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		stop = line_end(l, end);
		std::size_t k = std::strspn(l, " \t\r");
		double x;
		if (l + k == stop || l[k] == '#')
			continue;
		if (!number(l, stop, &x)) {
			b.bad_line = line;
			b.bad_text = shown(l + k, stop - l - k).text;
			end = l;
			break;
		}
		values.push_back(x);
	}

	std::size_t count = values.size();
	std::vector<double> zs(count);
	std::vector<expansion::Depth> d(count);
	bool forward = s.inverse.quantity == inverse::z;
	if (forward)
		expansion::depths(s.inverse.kernel, s.u, values.data(), count, d.data());
	else
		inverse::solve(s.inverse, values.data(), count, zs.data(), d.data());

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
		if (!forward)
			put(b.out, zs[n], s.digits);
		if (forward || s.form >= 0)
			put(b.out, d[n].d_L, s.digits);
		if (s.form >= 0) {
			put(b.out, d[n].d_c, s.digits);
			put(b.out, d[n].d_A, s.digits);
		}
		if (s.form > 0) {
			put(b.out, d[n].t_age, s.digits);
			put(b.out, d[n].t_lookback, s.digits);
			put(b.out, d[n].t_now, s.digits);
		}
		n++;
		b.out.push_back('\n');
	}
}

/* A tab and x as %g prints it with that many significant digits. */
static void
put(std::string &out, double x, int digits)
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
		p = std::to_chars(p, buf + sizeof buf, x, std::chars_format::general, digits).ptr;
	}
	out.append(buf, p);
}
