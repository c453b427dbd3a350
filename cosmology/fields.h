/*
 * The fields of a table's rows, for skytable -column: separated by tabs or
 * by commas, with quotes as RFC 4180 has them (a field that starts with
 * '"' runs to the next lone '"', holding separators, line breaks and
 * doubled quotes), or by runs of blanks, without quotes.
 */
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace fields {

/* The separator a line shows: a tab if it holds one, else a comma if it
 * holds one, else runs of blanks (' '). */
inline char
guess(const char *l, const char *end)
{
	return std::memchr(l, '\t', end - l) ? '\t' : std::memchr(l, ',', end - l) ? ',' : ' ';
}

/* The end of the record at l: the first newline outside quotes, or end.
 * A line whose first non-blank is '#' is a comment, whose quotes do not
 * count. */
inline const char *
record_end(const char *l, const char *end, bool quoted)
{
	const char *nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
	if (!quoted || !nl)
		return nl ? nl : end;
	std::size_t k = std::strspn(l, " \t\r");
	if (l + k < end && l[k] == '#')
		return nl;
	bool in = false;
	for (const char *p = l; p < end; p++) {
		if (*p == '"')
			in = !in;
		else if (*p == '\n' && !in)
			return p;
	}
	return end;
}

/*
 * Calls each(text) with each field of the row [l, end), unquoted, until it
 * returns false.  Returns the number of fields passed to it.
 */
template <typename Each>
inline std::size_t
split(const char *l, const char *end, char sep, Each each)
{
	std::size_t n = 0;
	std::string f;
	for (const char *p = l;; n++) {
		f.clear();
		if (sep == ' ') {
			while (p < end && (*p == ' ' || *p == '\t'))
				p++;
			if (p == end)
				return n;
			const char *q = p;
			while (q < end && *q != ' ' && *q != '\t')
				q++;
			f.assign(p, q);
			p = q;
		} else {
			bool in = p < end && *p == '"';
			for (p += in; p < end && (in || *p != sep); p++) {
				if (in && *p == '"' && p + 1 < end && p[1] == '"')
					f.push_back(*p++);
				else if (in && *p == '"')
					in = false;
				else
					f.push_back(*p);
			}
		}
		if (!each(f))
			return n + 1;
		if (p == end)
			return n + 1;
		p += sep != ' ';
	}
}

} // namespace fields
