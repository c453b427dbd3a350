/*
 * The fields of a table's rows, for skytable -column: separated by tabs or
 * by commas, with quotes as RFC 4180 has them (a field that starts with
 * '"' runs to the next lone '"', holding separators, line breaks and
 * doubled quotes; a '"' anywhere else is an ordinary byte), or by runs of
 * blanks, without quotes.
 */
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace fields {

/* The separator a line shows: a tab if it holds one, else a comma if it
 * holds one, else runs of blanks (' '). */
inline char
guess(const char *l, const char *end)
{
	return std::memchr(l, '\t', end - l) ? '\t' : std::memchr(l, ',', end - l) ? ',' : ' ';
}

/*
 * Where a row's reader is in its quotes, byte by byte.  A '"' opens a
 * quoted field only as the field's first byte; inside, "" is a quote and a
 * lone '"' closes it; anywhere else a '"' is an ordinary byte, as RFC 4180
 * readers take it.  A newline outside quotes ends the row, and the next
 * starts afresh.
 */
struct Quotes {
	enum State { start, plain, inside, closing } state = start;

	/* Takes the row's next byte c, its fields separated by sep. */
	void
	take(char c, char sep)
	{
		if (state == inside)
			state = c == '"' ? closing : inside;
		else if (state == closing && c == '"')
			state = inside;
		else
			state = c == sep ? start : state == start && c == '"' ? inside : plain;
	}

	/* Takes the bytes [p, end): where they hold no '"', by their last. */
	void
	take(const char *p, const char *end, char sep)
	{
		if (p == end)
			return;
		if (std::memchr(p, '"', end - p)) {
			for (; p < end; p++)
				take(*p, sep);
		} else if (state != inside) {
			state = end[-1] == sep ? start : plain;
		}
	}

	bool
	in() const
	{
		return state == inside;
	}
};

/* The end of the record at l: the first newline outside quotes, or end;
 * with sep ' ' (runs of blanks) there are no quotes.  A line whose first
 * non-blank is '#' is a comment, whose quotes do not count. */
inline const char *
record_end(const char *l, const char *end, char sep)
{
	const char *nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
	if (sep == ' ' || !nl || !std::memchr(l, '"', nl - l))
		return nl ? nl : end;
	const char *k = l;
	while (k < nl && (*k == ' ' || *k == '\t' || *k == '\r'))
		k++;
	if (*k == '#')
		return nl;
	Quotes q;
	for (const char *p = l; p < end; p++) {
		if (*p == '\n' && !q.in())
			return p;
		q.take(*p, sep);
	}
	return end;
}

/*
 * Calls each(text) with each field of the row [l, end), unquoted, until it
 * returns false.  Returns the number of fields passed to it.  A text lasts
 * until the next call: an unquoted field is seen where it lies.
 */
template <typename Each>
inline std::size_t
split(const char *l, const char *end, char sep, Each each)
{
	std::size_t n = 0;
	std::string f;
	for (const char *p = l;; n++) {
		std::string_view text;
		if (sep == ' ') {
			while (p < end && (*p == ' ' || *p == '\t'))
				p++;
			if (p == end)
				return n;
			const char *q = p;
			while (q < end && *q != ' ' && *q != '\t')
				q++;
			text = std::string_view(p, q - p);
			p = q;
		} else if (p == end || *p != '"') {
			/* Unquoted: up to the next separator, whole. */
			auto q = static_cast<const char *>(std::memchr(p, sep, end - p));
			text = std::string_view(p, (q ? q : end) - p);
			p = q ? q : end;
		} else {
			bool in = true;
			f.clear();
			for (p++; p < end && (in || *p != sep); p++) {
				if (in && *p == '"' && p + 1 < end && p[1] == '"')
					f.push_back(*p++);
				else if (in && *p == '"')
					in = false;
				else
					f.push_back(*p);
			}
			text = f;
		}
		if (!each(text))
			return n + 1;
		if (p == end)
			return n + 1;
		p += sep != ' ';
	}
}

} // namespace fields
