/*
 * skytable - skydepth's distances, and on request its times, for a whole
 * catalog of redshifts: one tab-separated line for each line of input.
 *
 * The main thread reads whole lines into blocks and writes the blocks' text
 * in input order; workers parse, compute and format the blocks, several
 * redshifts at a time in the lanes of a vector.  A ring of blocks bounds
 * the memory whatever the size of the input.
 */
#include <pthread.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "expansion.h"
#include "finish.h"

enum { longest_line = 4096, block_lines = 1024, max_threads = 64 };

static const char usage[] = "usage: skytable [-simple | -verbose] [-h0 H0] [-omega Omega_M] "
			    "[-lambda Lambda0] [-threads N] [z ...]\n";

typedef void Kernel(const double *a_emit, std::size_t count, const expansion::Universe &u,
		    double *age, double *lookback, double *comoving);

/* What every block is computed with. */
struct Setup {
	expansion::Universe u;
	int form; /* -1 d_L only, 0 the three distances, 1 distances and times */
	Kernel *kernel;
};

/* A block of whole input lines and the text it prints. */
struct Block {
	std::string in, out;
	long first_line;      /* the number of the first line of in */
	long bad_line;	      /* 0, or the line at which the output stops */
	std::string bad_text; /* that line's text, shown safely */
	bool done;
	std::vector<double> z, a_emit, sums[3]; /* the number lines' */
};

/* The ring of blocks between the reader, the workers and the writer.
 * Blocks [head, next) are being computed, [next, tail) wait for a worker. */
struct Ring {
	std::vector<Block> blocks;
	std::size_t head, next, tail;
	const Setup *setup;
	int threads, started;
	pthread_t workers[max_threads];
	bool closing;
	bool failed; /* a write failed or a line was bad: nothing more is written */
	int write_errno;
	long bad_line;	      /* the first line that is not a number, or 0 */
	std::string bad_text; /* its text, shown safely */
	std::mutex lock;
	std::condition_variable ready, finished;
};

static bool blank(char c);
static bool number(const char *text, std::size_t len, double *value);
static std::string shown(const char *text);
static std::string shown(const char *text, std::size_t len);
static int bad_usage(const std::string &message);
static int read_input(Ring &r);
static Block &claim(Ring &r);
static void submit(Ring &r);
static void drain(Ring &r);
static void write_oldest(Ring &r);
static void put_out(Ring &r, const char *text, std::size_t len);
static void *work(void *ring);
static const char *line_end(const char *l, const char *end);
static void compute(Block &b, const Setup &s);
static void put(std::string &out, double x);

int
main(int argc, char *argv[])
{
	double H0 = 73, Omega_M = 0.27, Lambda0 = 0.73;
	int form = 0, threads = 0, i;

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
			    : !std::strcmp(o, "-lambda") || !std::strcmp(o, "-vaccum")
				    ? &Lambda0
				    : nullptr;
		if (!p && std::strcmp(o, "-threads") != 0)
			return bad_usage("unknown option: " + shown(o));
		if (i + 1 == argc)
			return bad_usage(shown(o) + " needs a value");
		const char *v = argv[++i];
		double x;
		if (!number(v, std::strlen(v), &x))
			return bad_usage(shown(o) + ": not a number: " + shown(v));
		if (!p && (x != std::floor(x) || x < 1 || x > max_threads))
			return bad_usage("-threads: not a count from 1 to 64: " + shown(v));
		if (p)
			*p = x;
		else
			threads = static_cast<int>(x);
	}
	for (int k = i; k < argc; k++) {
		double z;
		if (!number(argv[k], std::strlen(argv[k]), &z))
			return bad_usage("argument " + std::to_string(k) +
					 ": not a number: " + shown(argv[k]));
	}

	if (threads == 0) {
		cpu_set_t cpus;
		threads = sched_getaffinity(0, sizeof cpus, &cpus) ? 1 : CPU_COUNT(&cpus);
		threads = threads < 1 ? 1 : threads > max_threads ? max_threads : threads;
	}
	Setup setup = {expansion::universe(H0, Omega_M, Lambda0), form, nullptr};
	setup.kernel = form > 0 ? expansion::lane_sums_base<true> : expansion::lane_sums_base<false>;
#if defined(__x86_64__) || defined(__i386__)
	if (expansion::have_avx2())
		setup.kernel =
			form > 0 ? expansion::lane_sums_avx2<true> : expansion::lane_sums_avx2<false>;
#endif

	/* One block per worker, one being read and one being written. */
	Ring r;
	r.blocks.resize(threads + 2);
	r.head = r.next = r.tail = 0;
	r.setup = &setup;
	r.threads = threads;
	r.started = 0;
	r.closing = r.failed = false;
	r.write_errno = 0;
	r.bad_line = 0;

	bool from_args = i < argc;
	if (from_args) {
		/* The arguments are the lines, each checked above. */
		long line = 1;
		while (i < argc && !r.failed) {
			Block &b = claim(r);
			b.first_line = line;
			for (int n = 0; n < block_lines && i < argc; n++, line++)
				b.in.append(argv[i++]).push_back('\n');
			submit(r);
		}
	}
	int read_errno = from_args ? 0 : read_input(r);
	drain(r);

	std::unique_lock<std::mutex> hold(r.lock);
	r.closing = true;
	hold.unlock();
	r.ready.notify_all();
	for (int k = 0; k < r.started; k++)
		pthread_join(r.workers[k], nullptr);

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

/* Whether text, with blanks around it allowed, is one whole number. */
static bool
number(const char *text, std::size_t len, double *value)
{
	while (len > 0 && blank(text[len - 1]))
		len--;
	while (len > 0 && blank(*text))
		text++, len--;
	char buf[longest_line + 1];
	if (len == 0 || len > longest_line)
		return false;
	std::memcpy(buf, text, len);
	buf[len] = '\0';
	char *end;
	/* strtod would skip other white space (a form feed, a newline) itself. */
	*value = std::strtod(buf, &end);
	return end == buf + len && !std::strchr(" \t\n\v\f\r", buf[0]);
}

static bool
blank(char c)
{
	return c == ' ' || c == '\t' || c == '\r';
}

static std::string
shown(const char *text)
{
	return shown(text, std::strlen(text));
}

/* At most 40 bytes of text, with anything a terminal might act on escaped. */
static std::string
shown(const char *text, std::size_t len)
{
	std::string s;
	for (std::size_t k = 0; k < len && k < 40; k++) {
		auto c = static_cast<unsigned char>(text[k]);
		char hex[5];
		if (c < 0x20 || c >= 0x7f || c == '\\') {
			std::snprintf(hex, sizeof hex, "\\x%02x", c);
			s += hex;
		} else {
			s += static_cast<char>(c);
		}
	}
	return s;
}

static int
bad_usage(const std::string &message)
{
	std::fprintf(stderr, "skytable: %s\n%s", message.c_str(), usage);
	return 1;
}

/*
 * Standard input, line by line, into blocks.  A line longer than any number
 * is not held: a comment is copied through as it comes, after everything
 * before it; any other line ends the run as not a number.  Before waiting
 * for input, everything read so far is written, so that a catalog typed or
 * trickling in gets its answers line by line.  Returns 0, or the errno of a
 * failed read.
 */
static int
read_input(Ring &r)
{
	char buf[1 << 16];
	long line = 1;
	bool streaming = false; /* inside an overlong comment */
	Block *b = nullptr;
	std::size_t start = 0; /* where b's unfinished line starts */

	while (!r.failed) {
		pollfd in = {0, POLLIN, 0};
		if (poll(&in, 1, 0) == 0) {
			if (b && start > 0) {
				/* The whole lines go; an unfinished one waits in a new block. */
				std::string rest = b->in.substr(start);
				b->in.resize(start);
				submit(r);
				b = &claim(r);
				b->first_line = line;
				b->in = rest;
				start = 0;
			}
			drain(r);
			if (std::fflush(stdout) != 0 && !r.failed)
				r.failed = true, r.write_errno = errno;
		}
		ssize_t n = read(0, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			int e = n < 0 ? errno : 0;
			if (b && !b->in.empty())
				submit(r);
			if (streaming)
				put_out(r, "\n", 1);
			return e;
		}
		for (const char *p = buf, *end = buf + n; p < end && !r.failed;) {
			auto nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
			const char *next = nl ? nl + 1 : end;
			if (streaming) {
				put_out(r, p, next - p);
				streaming = !nl;
				line += !streaming;
				p = next;
				continue;
			}
			if (!b) {
				b = &claim(r);
				b->first_line = line;
				start = 0;
			}
			b->in.append(p, next);
			p = next;
			std::size_t len = b->in.size() - start;
			if (len > longest_line + 1) {
				std::string held = b->in.substr(start, len - (nl != nullptr));
				std::size_t k = std::strspn(held.c_str(), " \t\r");
				b->in.resize(start);
				if (held[k] != '#') {
					b->bad_line = line;
					b->bad_text = shown(held.data() + k, held.size() - k);
					submit(r);
					return 0;
				}
				if (!b->in.empty())
					submit(r);
				b = nullptr;
				drain(r);
				held += nl ? "\n" : "";
				put_out(r, held.data(), held.size());
				streaming = !nl;
				line += !streaming;
				continue;
			}
			if (nl) {
				start = b->in.size();
				if (++line - b->first_line == block_lines)
					submit(r), b = nullptr;
			}
		}
	}
	return 0;
}

/* The next free block, empty, once the oldest ones are written. */
static Block &
claim(Ring &r)
{
	while (r.tail - r.head == r.blocks.size())
		write_oldest(r);
	Block &b = r.blocks[r.tail % r.blocks.size()];
	b.in.clear();
	b.out.clear();
	b.bad_line = 0;
	b.done = false;
	return b;
}

/* Hands the block from claim() to the workers.  They start with the second
 * block: a single one is computed where it is written, without threads. */
static void
submit(Ring &r)
{
	std::unique_lock<std::mutex> hold(r.lock);
	r.tail++;
	if (r.tail == 2 && r.threads > 1)
		for (int k = 0; k < r.threads; k++)
			if (pthread_create(&r.workers[r.started], nullptr, work, &r) == 0)
				r.started++;
	hold.unlock();
	r.ready.notify_one();
}

static void
drain(Ring &r)
{
	while (r.head < r.tail)
		write_oldest(r);
}

/* Waits for the oldest block (or computes it, without workers) and writes it. */
static void
write_oldest(Ring &r)
{
	Block &b = r.blocks[r.head % r.blocks.size()];
	std::unique_lock<std::mutex> hold(r.lock);
	if (r.started == 0 && !b.done) {
		r.next++;
		hold.unlock();
		compute(b, *r.setup);
		hold.lock();
		b.done = true;
	}
	r.finished.wait(hold, [&] { return b.done; });
	hold.unlock();
	r.head++;
	if (r.failed)
		return;
	put_out(r, b.out.data(), b.out.size());
	if (b.bad_line) {
		r.failed = true;
		r.bad_line = b.bad_line;
		r.bad_text = b.bad_text;
	}
}

/* Writes text unless the run has failed; a failed write fails it. */
static void
put_out(Ring &r, const char *text, std::size_t len)
{
	if (!r.failed && std::fwrite(text, 1, len, stdout) != len)
		r.failed = true, r.write_errno = errno;
}

static void *
work(void *ring)
{
	Ring &r = *static_cast<Ring *>(ring);
	std::unique_lock<std::mutex> hold(r.lock);
	for (;;) {
		r.ready.wait(hold, [&] { return r.closing || r.next < r.tail; });
		if (r.next == r.tail)
			return nullptr;
		Block &b = r.blocks[r.next++ % r.blocks.size()];
		hold.unlock();
		compute(b, *r.setup);
		hold.lock();
		b.done = true;
		r.finished.notify_all();
	}
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
compute(Block &b, const Setup &s)
{
	const char *end = b.in.data() + b.in.size();
	b.z.clear();
	b.a_emit.clear();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		stop = line_end(l, end);
		std::size_t k = std::strspn(l, " \t\r");
		double z;
		if (l + k == stop || l[k] == '#')
			continue;
		if (!number(l, stop - l, &z)) {
			b.bad_line = line;
			b.bad_text = shown(l + k, stop - l - k);
			end = l;
			break;
		}
		b.z.push_back(z);
		b.a_emit.push_back(expansion::emission(z));
	}

	std::size_t count = b.z.size();
	for (auto &v : b.sums)
		v.resize(count);
	s.kernel(b.a_emit.data(), count, s.u, b.sums[0].data(), b.sums[1].data(),
		 b.sums[2].data());

	std::size_t n = 0;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1) {
		stop = line_end(l, end);
		std::size_t k = std::strspn(l, " \t\r");
		if (l + k == stop || l[k] == '#') {
			b.out.append(l, stop).push_back('\n');
			continue;
		}
		const char *last = stop;
		while (blank(last[-1]))
			last--;
		b.out.append(l + k, last);
		double z = b.z[n];
		expansion::Depth d = {0, 0, 0, NAN, NAN, NAN}; /* no distance: skydepth's 0 Mpc */
		if (!(z < 0))
			d = expansion::depth(z, b.a_emit[n], s.u, b.sums[0][n], b.sums[1][n],
					     b.sums[2][n]);
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
