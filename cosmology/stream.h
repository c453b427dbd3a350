/*
 * skytable's streaming machinery: records in, blocks of records through
 * worker threads, text out in input order, in bounded memory.
 *
 * A record is a line or, in a table whose fields may be quoted, a row,
 * whose quoted fields may hold line breaks.  The reader gathers whole
 * records into blocks; workers run the per-record work on them; the writer
 * writes the blocks' text oldest first.  A ring of blocks bounds the memory
 * whatever the size of the input.  What a record becomes depends on its
 * bytes alone, never on how they arrive: a record of at most the format's
 * longest bytes is held and handed to the per-record work; a longer one is
 * not held: a comment (a line with a '#' after any blanks) or a line of
 * blanks is copied through as it comes, and any other is refused.
 */
#pragma once

#include <pthread.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "fields.h"
#include "notes.h"

namespace stream {

enum { longest_line = 4096, block_lines = 1024, block_bytes = 8 << 20, max_threads = 64 };

/* The input held in blocks not yet written, whatever the threads: past it
 * the reader waits for the oldest block to be written. */
const std::size_t held_bytes = std::size_t{64} << 20;

/* How the input is cut into records. */
struct Format {
	char sep = 0;			/* a table's separator, whose fields may be quoted
					 * (fields.h) and hold line breaks; 0 or ' ': none */
	std::size_t longest = longest_line; /* the longest record held, a CRLF's CR not counted */
	const char *too_long = nullptr; /* what a longer record is told, if not that it is not a number */
	std::size_t added = 0;		/* the most a record's text gets added to it when written */
};

/* A block of whole input records and the text it prints. */
struct Block {
	std::string in, out;
	long first_line;      /* the number of the first line of in */
	long bad_line;	      /* 0, or the line at which the output stops */
	std::string bad_text; /* what is wrong with it, its text shown safely */
	long empty;	      /* records whose value was missing */
	long reversed;	      /* pairs whose z1 was above their z2 */
	bool done;
};

/* Turns a block's records into its text; on a bad record it sets bad_line
 * and bad_text and writes nothing for that record or after it. */
typedef void Work(Block &b, const void *job);

/* The ring of blocks between the reader, the workers and the writer.
 * Blocks [head, next) are being computed, [next, tail) wait for a worker. */
struct Ring {
	std::vector<Block> blocks;
	std::size_t head, next, tail;
	Work *work;
	const void *job;
	Format format;
	int threads, started;
	pthread_t workers[max_threads];
	bool closing;
	bool failed; /* a write failed or a line was bad: nothing more is read or written */
	int write_errno;
	long bad_line;	      /* the first bad line, or 0 */
	std::string bad_text; /* what is wrong with it */
	long empty;	      /* records written whose value was missing */
	long reversed;	      /* pairs written whose z1 was above their z2 */
	std::size_t held;     /* the input in blocks submitted and not yet written */
	std::vector<std::string> spare; /* the memory of blocks written, the latest last */
	std::mutex lock;
	std::condition_variable ready, finished;
};

inline bool
blank(char c)
{
	return c == ' ' || c == '\t' || c == '\r';
}

/* Writes text unless the run has failed; a failed write fails it. */
inline void
put_out(Ring &r, const char *text, std::size_t len)
{
	if (!r.failed && std::fwrite(text, 1, len, stdout) != len)
		r.failed = true, r.write_errno = errno;
}

inline void *
worker(void *ring)
{
	Ring &r = *static_cast<Ring *>(ring);
	std::unique_lock<std::mutex> hold(r.lock);
	for (;;) {
		r.ready.wait(hold, [&] { return r.closing || r.next < r.tail; });
		if (r.next == r.tail)
			return nullptr;
		Block &b = r.blocks[r.next++ % r.blocks.size()];
		hold.unlock();
		r.work(b, r.job);
		hold.lock();
		b.done = true;
		r.finished.notify_all();
	}
}

/* Waits for the oldest block (or computes it, without workers) and writes it. */
inline void
write_oldest(Ring &r)
{
	Block &b = r.blocks[r.head % r.blocks.size()];
	std::unique_lock<std::mutex> hold(r.lock);
	if (r.started == 0 && !b.done) {
		r.next++;
		hold.unlock();
		r.work(b, r.job);
		hold.lock();
		b.done = true;
	}
	r.finished.wait(hold, [&] { return b.done; });
	hold.unlock();
	r.head++;
	r.held -= b.in.size();
	if (!r.failed) {
		put_out(r, b.out.data(), b.out.size());
		r.empty += b.empty;
		r.reversed += b.reversed;
		if (b.bad_line) {
			r.failed = true;
			r.bad_line = b.bad_line;
			r.bad_text = b.bad_text;
		}
	}
	/* Its memory goes to the next block claimed: blocks take the room the
	 * latest ones gave back, so that the memory in use is what the input
	 * held needs, not what every block of the ring ever held. */
	r.spare.push_back(std::move(b.in));
	r.spare.push_back(std::move(b.out));
}

/* The next free block, empty, once the oldest ones are written and the
 * input held is within held_bytes.  At most one block is claimed and not
 * yet submitted at a time. */
inline Block &
claim(Ring &r, long first_line)
{
	while (r.tail - r.head == r.blocks.size() || (r.tail > r.head && r.held >= held_bytes))
		write_oldest(r);
	Block &b = r.blocks[r.tail % r.blocks.size()];
	for (std::string *s : {&b.in, &b.out})
		if (!r.spare.empty())
			s->swap(r.spare.back()), r.spare.pop_back();
	b.in.clear();
	b.out.clear();
	b.first_line = first_line;
	b.bad_line = 0;
	b.empty = b.reversed = 0;
	b.done = false;
	return b;
}

/* Hands the block from claim() to the workers.  They start with the second
 * block: a single one is computed where it is written, without threads.
 * Its output's room is made here, so that every large allocation is this
 * thread's, and a block that gives it back gives it to one heap, not to
 * one per worker that would each keep it. */
inline void
submit(Ring &r)
{
	Block &b = r.blocks[r.tail % r.blocks.size()];
	r.held += b.in.size();
	b.out.reserve(b.in.size() + (std::count(b.in.begin(), b.in.end(), '\n') + 1) * r.format.added);
	std::unique_lock<std::mutex> hold(r.lock);
	r.tail++;
	if (r.tail == 2 && r.threads > 1)
		for (int k = 0; k < r.threads; k++)
			if (pthread_create(&r.workers[r.started], nullptr, worker, &r) == 0)
				r.started++;
	hold.unlock();
	r.ready.notify_one();
}

inline void
drain(Ring &r)
{
	while (r.head < r.tail)
		write_oldest(r);
}

/* Writes everything submitted and pushes it out of stdio's buffer. */
inline void
flush(Ring &r)
{
	drain(r);
	if (std::fflush(stdout) != 0 && !r.failed)
		r.failed = true, r.write_errno = errno;
}

/* The lines of the arguments, in blocks. */
inline void
read_arguments(Ring &r, char *const *args, int count)
{
	for (int i = 0; i < count && !r.failed;) {
		Block &b = claim(r, i + 1);
		for (int n = 0; n < block_lines && i < count; n++)
			b.in.append(args[i++]).push_back('\n');
		submit(r);
	}
	drain(r);
}

/* Where the reader is in the current record. */
enum Lineform {
	held,	 /* gathered into the block, at most the longest record so far */
	copied,	 /* an overlong comment, copied through as it comes */
	blanks,	 /* an overlong run of blanks, copied through as it comes */
	refused, /* overlong and not a comment: its text is gathered for the message */
};

/*
 * Standard input, record by record, into blocks, after prefix, bytes of it
 * read already, whose first line is line first_line.  Before waiting for
 * input, everything read so far is written, so that a catalog typed or
 * trickling in gets its answers record by record, and a run that has
 * failed ends at once.  Returns 0, or the errno of a failed read.
 */
inline int
read_input(Ring &r, const std::string &prefix, long first_line)
{
	const Format &f = r.format;
	char buf[1 << 16];
	long line = first_line; /* the line being read */
	long first = line;	/* the line the unfinished record starts on */
	Lineform form = held;
	Block *b = nullptr;
	std::size_t start = 0; /* where b's unfinished record starts */
	long records = 0;      /* b's whole records */
	fields::Quotes quotes; /* where the unfinished record is in its quotes */
	bool stop = false;     /* a record was refused */
	std::string text;      /* a refused record's text, from its first non-blank,
				* until there is enough to show */

	/* Ends the run at a refused record, after every record before it. */
	auto refuse = [&] {
		if (!b)
			b = &claim(r, first), start = 0;
		b->in.resize(start);
		b->bad_line = first;
		b->bad_text = f.too_long ? f.too_long : std::string("not a number: ") + shown(text.data(), text.size()).text;
		submit(r);
		drain(r);
		stop = true;
	};
	/* Submits b's whole records; an unfinished one stays in b, or in a new block. */
	auto submit_whole = [&] {
		if (!b || start == 0)
			return;
		std::string rest = b->in.substr(start);
		b->in.resize(start);
		submit(r);
		b = nullptr;
		if (!rest.empty())
			b = &claim(r, first), b->in = rest, records = 0;
		start = 0;
	};
	/* Whether the unfinished record, whose line has just ended, ends with
	 * it: outside quotes, or a comment, whose quotes do not count. */
	auto ends = [&] {
		if (!quotes.in())
			return true;
		std::size_t k = b->in.find_first_not_of(" \t\r", start);
		return b->in[k] == '#';
	};
	/* The bytes [p, end). */
	auto take = [&](const char *p, const char *end) {
		while (p < end && !r.failed && !stop) {
			auto nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
			const char *next = nl ? nl + 1 : end;
			if (form == refused) {
				text.append(p, next - p - (nl != nullptr));
				p = next;
				if (nl || text.size() >= shown_bytes)
					refuse();
				continue;
			}
			if (form == blanks) {
				const char *q = p;
				while (q < next && blank(*q))
					q++;
				if (q < next && *q != '#' && *q != '\n') {
					put_out(r, p, q - p);
					form = refused, text.clear(), p = q;
					continue;
				}
				form = q < next && *q == '#' ? copied : blanks;
			}
			if (form != held) {
				put_out(r, p, next - p);
				if (nl)
					form = held, first = ++line;
				p = next;
				continue;
			}
			if (!b)
				b = &claim(r, first), start = 0, records = 0;
			b->in.append(p, next);
			if (f.sep && f.sep != ' ')
				quotes.take(p, next, f.sep);
			p = next;
			const char *l = b->in.data() + start;
			std::size_t len = b->in.size() - start - (nl != nullptr);
			/* A last '\r' may be a CRLF's, which does not count. */
			if (len - (len > 0 && l[len - 1] == '\r') > f.longest) {
				/* Decided by the first longest + 1 bytes: a
				 * comment, a run of blanks, or a record refused. */
				std::size_t k = 0;
				while (k < len && blank(l[k]))
					k++;
				quotes = {};
				if (k <= f.longest && l[k] != '#') {
					text.assign(l + k, std::min(len - k, std::size_t{shown_bytes}));
					b->in.resize(start);
					if (nl || text.size() >= shown_bytes || f.too_long)
						refuse();
					else
						form = refused;
					continue;
				}
				/* Everything before goes first.  Past a run of blanks
				 * the rest of the segment is read again. */
				std::size_t keep = k <= f.longest ? b->in.size() - start : k;
				p = next - (b->in.size() - start - keep);
				std::string head = b->in.substr(start, keep);
				b->in.resize(start);
				if (start > 0)
					submit(r);
				b = nullptr, start = 0;
				drain(r);
				put_out(r, head.data(), head.size());
				if (k > f.longest)
					form = blanks;
				else if (nl)
					first = ++line;
				else
					form = copied;
				continue;
			}
			if (nl) {
				line++;
				if (!ends())
					continue;
				start = b->in.size(), first = line, quotes = {};
				if (++records == block_lines || b->in.size() >= block_bytes)
					submit(r), b = nullptr;
			}
		}
	};

	take(prefix.data(), prefix.data() + prefix.size());
	while (!r.failed && !stop) {
		pollfd in = {0, POLLIN, 0};
		if (poll(&in, 1, 0) == 0) {
			submit_whole();
			flush(r);
			if (r.failed)
				break;
		}
		ssize_t n = read(0, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			if (form == refused)
				refuse();
			else if (form != held)
				put_out(r, "\n", 1);
			else if (b && !b->in.empty())
				submit(r);
			drain(r);
			return n < 0 ? errno : 0;
		}
		take(buf, buf + n);
	}
	return 0;
}

/* Runs the lines of the arguments, or without any the records of standard
 * input, prefix first, starting at line first_line, through threads
 * workers, and stops them.  Returns 0, or the errno of a failed read. */
inline int
run(Ring &r, int threads, Work *work, const void *job, char *const *args, int count,
    const Format &format = Format(), const std::string &prefix = "", long first_line = 1)
{
	/* One block per worker, one being read and one being written. */
	r.blocks.resize(threads + 2);
	r.head = r.next = r.tail = 0;
	r.work = work;
	r.job = job;
	r.format = format;
	r.threads = threads;
	r.started = 0;
	r.closing = r.failed = false;
	r.write_errno = 0;
	r.bad_line = 0;
	r.empty = r.reversed = 0;
	r.held = 0;

	int read_errno = 0;
	if (count > 0)
		read_arguments(r, args, count);
	else
		read_errno = read_input(r, prefix, first_line);

	std::unique_lock<std::mutex> hold(r.lock);
	r.closing = true;
	hold.unlock();
	r.ready.notify_all();
	for (int k = 0; k < r.started; k++)
		pthread_join(r.workers[k], nullptr);
	return read_errno;
}

} // namespace stream
