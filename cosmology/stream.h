/*
 * skytable's streaming machinery: blocks of whole input records through
 * worker threads, text out in input order, in bounded memory.
 *
 * The reader (reader.h) gathers records into blocks; workers run the
 * per-record work on them; the writer writes the blocks' text oldest
 * first.  A ring of blocks bounds the memory whatever the size of the
 * input.
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
#include "numbers.h"

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
	long header_line;     /* the line of a table's header row in it, or 0 */
	bool repeated;	      /* that row repeats the first input's, and is not written */
	long bad_line;	      /* the line at which the output stops, or 0 for none */
	std::string bad_text; /* what is wrong there, its text shown safely; "" where nothing is */
	long empty;	      /* records whose value was missing */
	long reversed;	      /* pairs whose z1 was above their z2 */
	long negative;	      /* records with a negative redshift */
	long unframed;	      /* records whose position, velocity or observed redshift was none */
	bool done;
};

/* Turns a block's records into its text; on a bad record it sets bad_text
 * and bad_line and writes nothing for that record or after it. */
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
	long bad_line;	      /* the first bad line, or 0 for none */
	std::string bad_text; /* what is wrong with it; "" where nothing is */
	long empty;	      /* records written whose value was missing */
	long reversed;	      /* pairs written whose z1 was above their z2 */
	long negative;	      /* records written with a negative redshift */
	long unframed;	      /* records written whose position, velocity or observed redshift was none */
	std::size_t held;     /* the input in blocks submitted and not yet written */
	std::vector<std::string> spare; /* the memory of blocks written, the latest last */
	std::mutex lock;
	std::condition_variable ready, finished;
};

using numbers::blank;

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
		r.negative += b.negative;
		r.unframed += b.unframed;
		if (!b.bad_text.empty()) {
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
	b.header_line = b.bad_line = 0;
	b.repeated = false;
	b.bad_text.clear();
	b.empty = b.reversed = b.negative = b.unframed = 0;
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

/* Makes the ring ready: one block per worker, one being read and one being
 * written, none of them started. */
inline void
start(Ring &r, int threads, Work *work, const void *job, const Format &format)
{
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
	r.bad_text.clear();
	r.empty = r.reversed = r.negative = r.unframed = 0;
	r.held = 0;
}

/* Stops the workers, once everything is written. */
inline void
stop(Ring &r)
{
	std::unique_lock<std::mutex> hold(r.lock);
	r.closing = true;
	hold.unlock();
	r.ready.notify_all();
	for (int k = 0; k < r.started; k++)
		pthread_join(r.workers[k], nullptr);
}

} // namespace stream
