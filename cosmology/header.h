/*
 * A table's header, for skytable -column: which fields hold the values,
 * the separator the table's first row shows, and what each input's first
 * row is, the first input's header or a later one's, its repeat.  Nothing
 * here reads or writes: the reader hands the rows over, and a failure
 * comes back as its message.
 */
#pragma once

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fields.h"
#include "notes.h"
#include "numbers.h"

namespace header {

/* The fields a row is read at: its redshift (z1 of a pair), a second
 * (z2 of a pair, or -zhel's observed redshift), a position (-ra, -dec)
 * and a peculiar velocity (-vpec). */
enum Slot { first, second, ra, dec, vpec, slots };

/* A table: how its rows are cut, which fields hold the values, and the
 * header they were named in. */
struct Table {
	char chosen = 0;			// -sep's separator, or 0 for the one the first row shows
	char decimal = '.';			// the values' decimal separator
	char sep = 0;				// '\t', ',', ';', another one character, or ' ' for runs of blanks
	bool numbered = false;			// whether the fields are numbers, not names
	std::array<std::size_t, slots> field{}; // which they are, 0 for the first
	std::array<std::string, slots> label;	// the fields, for messages: their names, or "field N"; "" unread
	std::array<std::string, slots> option;	// the options that named them
	std::string columns;			// the columns' names, to be joined after sep
	std::string names;			// appended to the header: the columns' names, each after sep
	std::string header;			// the header row's text, without its line end, or ""
	bool lone = false;			// the first row showed no separator: the columns follow one
	bool seen = false;			// a first row has been read: the table is set up
};

/* What an input's first row is. */
enum Verdict { row, heading, repeat, failure };

/* The table whose slots are the fields named (NAME, or N counting from
 * 1; "" for a slot not read), all numbered or all names, the second by
 * -zhel where observed, else by -column with -pairs; columns lists the
 * columns' names, each after a tab. */
inline Table
wanted(const std::array<std::string, slots> &names, bool observed, char chosen, char decimal, const std::string &columns)
{
	Table t;
	t.chosen = chosen, t.decimal = decimal, t.columns = columns;
	t.option = {"-column", observed ? "-zhel" : "-column", "-ra", "-dec", "-vpec"};
	t.numbered = true;
	for (const std::string &n : names)
		t.numbered = t.numbered && n.find_first_not_of("0123456789") == std::string::npos;
	for (int k = 0; k < slots; k++) {
		if (names[k].empty())
			continue;
		t.label[k] = t.numbered ? "field " + names[k] : names[k];
		if (t.numbered)
			t.field[k] = std::strtoul(names[k].c_str(), nullptr, 10) - 1;
	}
	return t;
}

/* Whether the line [l, stop), which starts with no blank, is one field:
 * no blank between its first byte and its last that is not blank. */
inline bool
one_field(const char *l, const char *stop)
{
	while (stop > l && numbers::blank(stop[-1]))
		stop--;
	return std::find_if(l, stop, numbers::blank) == stop;
}

/* Sets t's separator from the first line [l, stop) of the table's first
 * row: -sep's, else a tab where the line holds one, else a comma where it
 * holds one (but with a decimal comma), else runs of blanks; a line of one
 * field shows none, and the columns follow commas (semicolons with a
 * decimal comma). */
inline void
separate(Table &t, const char *l, const char *stop)
{
	if (t.chosen) {
		t.sep = t.chosen;
		return;
	}
	t.sep = fields::guess(l, stop);
	if (t.sep == ',' && t.decimal == ',')
		t.sep = ' ';
	while (l < stop && numbers::blank(*l))
		l++;
	if (t.sep == ' ' && one_field(l, stop))
		t.sep = t.decimal == ',' ? ';' : ',', t.lone = true;
}

/* What a user whose field was not found in the header row [l, end) of n
 * fields most likely meant: two fields, which need -pairs, or a separator
 * the row shows but was not cut at. */
inline std::string
hint(const Table &t, std::size_t n, const char *l, const char *end)
{
	if (t.label[second].empty() && t.label[first].find(',') != std::string::npos)
		return "; two fields are a pair of redshifts: give -pairs";
	static const char seps[] = ";\t|";
	const char *c = n == 1 ? std::find_first_of(l, end, seps, seps + 3) : end;
	if (c == end)
		return "";
	std::string sep = *c == '\t' ? "tab" : "'" + std::string(1, *c) + "'";
	return "; the row shows " + sep + ": give -sep " + sep;
}

/*
 * The row [l, end) as an input's first, split at t's separator: a header,
 * whose fields t's names find (the first of a name that comes twice), or
 * with numbered fields a header only where a field it has is not a number,
 * else a row.  Sets t.field and, for a header, t.header; a name the header
 * lacks is a failure, told in why.
 */
inline Verdict
name_fields(Table &t, const char *l, const char *end, std::string &why)
{
	std::string names;
	bool found[slots] = {}, is_header = !t.numbered;
	std::size_t n = 0;
	fields::split(l, end, t.sep, [&](std::string_view f) {
		std::size_t a = f.find_first_not_of(' '), z = f.find_last_not_of(' ');
		double x;
		for (int k = 0; k < slots; k++) {
			if (t.label[k].empty())
				continue;
			if (!t.numbered && !found[k] && a != std::string::npos && f.compare(a, z - a + 1, t.label[k]) == 0)
				found[k] = true, t.field[k] = n;
			if (t.numbered && n == t.field[k] && a != std::string::npos &&
			    !numbers::value_of(f.data(), f.data() + f.size(), t.decimal, &x))
				is_header = true;
		}
		names.append(n ? ", " : "").append(f.empty() ? "\"\"" : shown(f.data(), f.size()).text);
		n++;
		return true;
	});
	t.header.assign(is_header ? l : end, end);
	for (int k = 0; k < slots && !t.numbered; k++)
		if (!t.label[k].empty() && !found[k]) {
			why = t.option[k] + " " + std::string(shown(t.label[k].c_str()).text) +
			      ": the header has no such field; its fields are " + names + hint(t, n, l, end);
			return failure;
		}
	return is_header ? heading : row;
}

/*
 * What the first row [l, end) of an input is, its first line ending at
 * stop.  The run's first such row sets the table up (its fields and its
 * header, its separator set by separate() from its first line); a later
 * input's must hold the same header, which is not written again, or none
 * where the first had none.  Failures are told in why; of_file names the
 * first input with a row.
 */
inline Verdict
first_row(Table &t, const char *l, const char *stop, const char *end, const std::string &of_file, std::string &why)
{
	if (!t.seen) {
		t.seen = true;
		t.names.clear();
		for (char c : t.columns)
			t.names.push_back(c == '\t' ? t.sep : c);
		return name_fields(t, l, end, why);
	}
	Table later = t;
	later.lone = false;
	separate(later, l, stop);
	Verdict v = name_fields(later, l, end, why);
	if (v == failure)
		return v;
	if (later.header != t.header) {
		why = "its header is not that of " + of_file;
		return failure;
	}
	return v == heading ? repeat : row;
}

} // namespace header
