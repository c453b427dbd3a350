/*
 * skytable's reader: the lines of the arguments, or the records of its
 * input, into the ring's blocks (stream.h).
 *
 * A record is a line or, in a table whose fields may be quoted, a row,
 * whose quoted fields may hold line breaks.  What a record becomes depends
 * on its bytes alone, never on how they arrive: a record of at most the
 * format's longest bytes is held and handed to the per-record work; a
 * longer one is not held: a comment (a line with a '#' after any blanks)
 * or a line of blanks is copied through as it comes, and any other is
 * refused.  The input is read in chunks, each cut at its line ends and
 * handed, a line's piece at a time, to the handler of the state the
 * reader is in.
 *
 * In a table, each input's first record that is neither blank nor a
 * comment is handed to the table's heading (header.h) as soon as it is
 * whole: its first line sets the separator that cuts the rows, and the
 * record is the header, a later input's repeat of it (not written again),
 * a row, or a failure that ends the run.  A byte order mark at an input's
 * start is written where it is the run's first input's, and is never part
 * of a record.
 */
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "fields.h"
#include "header.h"
#include "notes.h"
#include "stream.h"

namespace stream {

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

/* What a table's reader asks of each input's first record that is neither
 * blank nor a comment: the separator, from its first line [l, stop), then
 * what the whole record [l, end) is, a failure's message in why. */
struct Heading {
	char (*separator)(void *job, const char *l, const char *stop);
	header::Verdict (*first)(void *job, const char *l, const char *stop, const char *end, std::string &why);
	void *job;
};

/* The reader, between one piece of input and the next. */
struct Reading {
	Lineform form = held;
	Block *b = nullptr;	 /* the block being filled, or none */
	std::size_t start = 0;	 /* where b's unfinished record starts */
	long records = 0;	 /* b's whole records */
	long line = 1;		 /* the line being read */
	long first = 1;		 /* the line the unfinished record starts on */
	fields::Quotes quotes;	 /* where the unfinished record is in its quotes */
	bool stop = false;	 /* a record was refused */
	std::string text;	 /* a refused record's text, from its first non-blank,
				  * until there is enough to show */
	const Heading *heading = nullptr; /* a table's, or none */
	bool headed = false;	 /* the input's first record has been handed to it */
	bool parted = false;	 /* the separator has been taken from that record's first line */
	std::string lead;	 /* the input's first bytes while they may be a byte order mark */
	bool led = false;	 /* whether they have been taken */
	bool first_input = true; /* the run's first input, whose byte order mark is written */
};

/* Ends the run at the unfinished record, after every record before it:
 * on line line (0 for none), for why. */
inline void
fail(Ring &r, Reading &s, long line, const std::string &why)
{
	if (!s.b)
		s.b = &claim(r, s.first), s.start = 0;
	s.b->in.resize(s.start);
	s.b->bad_line = line;
	s.b->bad_text = why;
	submit(r);
	drain(r);
	s.stop = true;
}

/* Ends the run at a refused record, after every record before it. */
inline void
refuse(Ring &r, Reading &s)
{
	fail(r, s, s.first,
	     r.format.too_long ? r.format.too_long
			       : std::string("not a number: ") + shown(s.text.data(), s.text.size()).text);
}

/* Whether the record [l, end) is a blank line or a comment. */
inline bool
passes(const char *l, const char *end)
{
	while (l < end && blank(*l))
		l++;
	return l == end || *l == '#' || *l == '\n';
}

/* Hands the held record, whole up to end (its line end not included), to
 * the heading where it is the input's first that is not blank or a
 * comment, and acts on what it is.  False where the run ended. */
inline bool
head(Ring &r, Reading &s, const char *end)
{
	const char *l = s.b->in.data() + s.start;
	if (s.headed || !s.heading || passes(l, end))
		return true;
	s.headed = true;
	/* The heading sets the table up for the workers: none may be reading it. */
	drain(r);
	const char *stop = static_cast<const char *>(std::memchr(l, '\n', end - l));
	std::string why;
	header::Verdict verdict =
		s.heading->first(s.heading->job, l, stop ? stop : end, end > l && end[-1] == '\r' ? end - 1 : end, why);
	switch (verdict) {
	case header::heading:
	case header::repeat:
		s.b->header_line = s.first;
		s.b->repeated = verdict == header::repeat;
		return true;
	case header::failure:
		fail(r, s, 0, why);
		return false;
	default:
		return true;
	}
}

/* The separator, from the first line of the input's first record that is
 * not blank or a comment, which has just ended at end (its line end not
 * included); the quotes of the record so far are taken again with it. */
inline void
part(Ring &r, Reading &s, const char *end)
{
	const char *l = s.b->in.data() + s.start;
	if (s.parted || !s.heading || passes(l, end))
		return;
	s.parted = true;
	/* The separator is the workers' too: none may be reading it. */
	drain(r);
	r.format.sep = s.heading->separator(s.heading->job, l, end);
	s.quotes = {};
	if (r.format.sep != ' ')
		s.quotes.take(l, end, r.format.sep);
}

/* Submits the block's whole records; an unfinished one stays in it, or in
 * a new block. */
inline void
submit_whole(Ring &r, Reading &s)
{
	if (!s.b || s.start == 0)
		return;
	std::string rest = s.b->in.substr(s.start);
	s.b->in.resize(s.start);
	submit(r);
	s.b = nullptr;
	if (!rest.empty())
		s.b = &claim(r, s.first), s.b->in = rest, s.records = 0;
	s.start = 0;
}

/* The handlers of the states: each takes [p, next), the rest of a line or
 * a piece of it, nl telling whether it ends the line, and returns where
 * the input goes on. */

inline const char *
in_refused(Ring &r, Reading &s, const char *p, const char *next, bool nl)
{
	s.text.append(p, next - p - nl);
	if (nl || s.text.size() >= shown_bytes)
		refuse(r, s);
	return next;
}

inline const char *
in_copied(Ring &r, Reading &s, const char *p, const char *next, bool nl)
{
	put_out(r, p, next - p);
	if (nl)
		s.form = held, s.first = ++s.line;
	return next;
}

/* An overlong run of blanks: copied, until a comment or a refused record. */
inline const char *
in_blanks(Ring &r, Reading &s, const char *p, const char *next, bool nl)
{
	const char *q = p;
	while (q < next && blank(*q))
		q++;
	if (q < next && *q != '#' && *q != '\n') {
		put_out(r, p, q - p);
		s.form = refused, s.text.clear();
		return q;
	}
	s.form = q < next && *q == '#' ? copied : blanks;
	return in_copied(r, s, p, next, nl);
}

/*
 * The held record has grown past the longest: decided by its first
 * longest + 1 bytes, len of them now, whether it is a comment or a run of
 * blanks, copied through from here on, or a record refused.  Returns where
 * the input goes on.
 */
inline const char *
overlong(Ring &r, Reading &s, const char *next, bool nl, std::size_t len)
{
	const Format &f = r.format;
	const char *l = s.b->in.data() + s.start;
	std::size_t k = 0;
	while (k < len && blank(l[k]))
		k++;
	s.quotes = {};
	if (k <= f.longest && l[k] != '#') {
		s.text.assign(l + k, std::min(len - k, std::size_t{shown_bytes}));
		s.b->in.resize(s.start);
		if (nl || s.text.size() >= shown_bytes || f.too_long)
			refuse(r, s);
		else
			s.form = refused;
		return next;
	}
	/* Everything before goes first.  Past a run of blanks the rest of
	 * the segment is read again. */
	std::size_t keep = k <= f.longest ? s.b->in.size() - s.start : k;
	const char *p = next - (s.b->in.size() - s.start - keep);
	std::string head = s.b->in.substr(s.start, keep);
	s.b->in.resize(s.start);
	if (s.start > 0)
		submit(r);
	s.b = nullptr, s.start = 0;
	drain(r);
	put_out(r, head.data(), head.size());
	if (k > f.longest)
		s.form = blanks;
	else if (nl)
		s.first = ++s.line;
	else
		s.form = copied;
	return p;
}

/* A record held in the block: a line's end outside quotes, or a
 * comment's, whose quotes do not count, ends it. */
inline const char *
in_held(Ring &r, Reading &s, const char *p, const char *next, bool nl)
{
	const Format &f = r.format;
	if (!s.b)
		s.b = &claim(r, s.first), s.start = 0, s.records = 0;
	s.b->in.append(p, next);
	if (f.sep && f.sep != ' ')
		s.quotes.take(p, next, f.sep);
	const char *l = s.b->in.data() + s.start;
	std::size_t len = s.b->in.size() - s.start - nl;
	/* A last '\r' may be a CRLF's, which does not count. */
	if (len - (len > 0 && l[len - 1] == '\r') > f.longest)
		return overlong(r, s, next, nl, len);
	if (!nl)
		return next;
	s.line++;
	part(r, s, s.b->in.data() + s.b->in.size() - 1);
	if (s.quotes.in() && s.b->in[s.b->in.find_first_not_of(" \t\r", s.start)] != '#')
		return next;
	if (!head(r, s, s.b->in.data() + s.b->in.size() - 1))
		return next;
	s.start = s.b->in.size(), s.first = s.line, s.quotes = {};
	if (++s.records == block_lines || s.b->in.size() >= block_bytes)
		submit(r), s.b = nullptr;
	return next;
}

/* The bytes [p, end), line by line. */
inline void
take(Ring &r, Reading &s, const char *p, const char *end)
{
	while (p < end && !r.failed && !s.stop) {
		auto nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
		const char *next = nl ? nl + 1 : end;
		switch (s.form) {
		case refused:
			p = in_refused(r, s, p, next, nl);
			break;
		case blanks:
			p = in_blanks(r, s, p, next, nl);
			break;
		case copied:
			p = in_copied(r, s, p, next, nl);
			break;
		default:
			p = in_held(r, s, p, next, nl);
		}
	}
}

/* The end of the input: a record refused, a line copied ended, a record
 * held handed to the heading and submitted, and everything written. */
inline void
end_input(Ring &r, Reading &s)
{
	if (s.form == refused) {
		refuse(r, s);
		return;
	}
	if (s.form != held)
		put_out(r, "\n", 1);
	else if (s.b && s.start < s.b->in.size()) {
		const char *end = s.b->in.data() + s.b->in.size();
		part(r, s, end);
		if (!head(r, s, end))
			return;
	}
	if (s.b && !s.b->in.empty())
		submit(r);
	drain(r);
}

/* Takes the bytes [p, end) of the input.  A table's first bytes are held
 * while they may be a byte order mark: a whole one is written where the
 * input is the run's first and dropped elsewhere; anything else is taken
 * as it came. */
inline void
take_input(Ring &r, Reading &s, const char *p, const char *end)
{
	static const char bom[] = "\xef\xbb\xbf";
	while (!s.led && p < end) {
		if (*p != bom[s.lead.size()]) {
			s.led = true;
			take(r, s, s.lead.data(), s.lead.data() + s.lead.size());
			break;
		}
		s.lead.push_back(*p++);
		if (s.lead.size() < 3)
			continue;
		s.led = true;
		if (s.first_input)
			put_out(r, bom, 3);
	}
	take(r, s, p, end);
}

/* Reads fd in chunks into take(chunk, end) until the end of the input or
 * until done() says so; before it waits for input, idle().  Returns 0, or
 * the errno of a failed read. */
template <typename Take, typename Idle, typename Done>
inline int
read_chunks(int fd, Take take, Idle idle, Done done)
{
	char buf[1 << 16];
	while (!done()) {
		pollfd in = {fd, POLLIN, 0};
		if (poll(&in, 1, 0) == 0) {
			idle();
			if (done())
				break;
		}
		ssize_t n = read(fd, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return n < 0 ? errno : 0;
		take(buf, buf + n);
	}
	return 0;
}

/*
 * The records of fd, into blocks: a table's, with its heading, where
 * heading is given, first_input telling whether fd is the run's first
 * input.  Before waiting for input, everything read so far is written, so
 * that a catalog typed or trickling in gets its answers record by record,
 * and a run that has failed ends at once.  Returns 0, or the errno of a
 * failed read.
 */
inline int
read_input(Ring &r, int fd, const Heading *heading = nullptr, bool first_input = true)
{
	Reading s;
	s.heading = heading;
	s.led = !heading;
	s.first_input = first_input;
	int read_errno = read_chunks(
		fd, [&](const char *p, const char *end) { take_input(r, s, p, end); },
		[&] {
			submit_whole(r, s);
			flush(r);
		},
		[&] { return r.failed || s.stop; });
	if (!s.led)
		take(r, s, s.lead.data(), s.lead.data() + s.lead.size());
	if (!r.failed && !s.stop)
		end_input(r, s);
	return read_errno;
}

} // namespace stream
