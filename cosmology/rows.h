/*
 * The work of a block, for skytable: its records parsed (lines of one
 * value or two, or a table's rows), the redshifts of their values, given
 * or found by -from, computed several at a time in the lanes of a vector
 * (forward in expansion.h, inverse in inverse.h), and each record written
 * back with its columns.  A record that is bad ends the block's output
 * before it.
 */
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "columns.h"
#include "header.h"
#include "inverse.h"
#include "kernels.h"
#include "notes.h"
#include "numbers.h"
#include "stream.h"

namespace rows {

/* What every block is computed with. */
struct Setup {
	expansion::Universe u;
	std::vector<columns::Id> columns; /* printed after the input's text */
	bool pairs = false;		  /* the values are pairs, the columns those of pairs */
	int digits = 6;			  /* significant digits of every number written */
	char decimal = '.';		  /* the decimal separator of values read and numbers written */
	inverse::Problem inverse;	  /* the kernel, and what the values are */
	bool table = false;		  /* the input is a table (-column), set up by its first row */
	header::Table heads;
};

/* A record of a block as it is written: text, then the header's names or
 * the row's columns, then rest (a \r that ended it), then a newline. */
struct Record {
	const char *text, *text_end, *rest_end;
	enum Kind { passed, header, row } kind;
};

/* What a block's records are, and the values of its rows and their lines;
 * a bad row is recorded in b, and ends the records before it. */
struct Parsed {
	std::vector<Record> records;
	std::vector<double> values;
	std::vector<long> lines;
};

/* The lines of a block: each holds a number, or with pairs two separated
 * by blanks, with blanks around allowed and left out of the text written,
 * or is blank or a comment. */
inline void
lines_of(stream::Block &b, Parsed &p, bool pairs, char decimal)
{
	const char *end = b.in.data() + b.in.size();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		auto nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
		stop = nl ? nl : end;
		std::size_t k = std::strspn(l, " \t\r");
		double x;
		if (l + k == stop || l[k] == '#') {
			p.records.push_back({l, stop, stop, Record::passed});
			continue;
		}
		/* The second of a pair starts after the first's blanks. */
		const char *cut = l + k;
		while (pairs && cut < stop && !numbers::blank(*cut))
			cut++;
		double y = 0;
		if (!numbers::value_of(l, pairs ? cut : stop, decimal, &x) ||
		    (pairs && !numbers::value_of(cut, stop, decimal, &y))) {
			b.bad_line = line;
			b.bad_text = std::string(pairs ? "not a pair of numbers: " : "not a number: ") +
				     shown(l + k, stop - l - k).text;
			return;
		}
		const char *last = stop;
		while (numbers::blank(last[-1]))
			last--;
		p.records.push_back({l + k, last, last, Record::row});
		p.values.push_back(x);
		p.lines.push_back(line);
		if (pairs)
			p.values.push_back(y), p.lines.push_back(line);
	}
}

/* A row's chosen fields [l, end) read into x: false after recording in
 * bad why not, empty set where a field is there but empty. */
inline bool
fields_of(const header::Table &t, const char *l, const char *end, double x[2], bool &empty, std::string &bad)
{
	std::string f[2];
	bool found[2] = {false, false};
	std::size_t n = 0, last = std::max(t.field[0], t.count == 2 ? t.field[1] : 0);
	n = fields::split(l, end, t.sep, [&](const std::string &field) {
		for (int k = 0; k < t.count; k++)
			if (n == t.field[k])
				f[k] = field, found[k] = true;
		return n++ < last;
	});
	for (int k = 0; k < t.count && bad.empty(); k++) {
		std::size_t a = f[k].find_first_not_of(" \t");
		if (!found[k])
			bad = "no " + t.label[k] + ": the row has " + std::to_string(n) + (n == 1 ? " field" : " fields");
		else if (a == std::string::npos)
			empty = true;
		else if (!numbers::value_of(f[k].c_str(), f[k].c_str() + f[k].size(), t.decimal, &x[k]))
			bad = t.label[k] + ": not a number: " + shown(f[k].data() + a, f[k].size() - a).text;
	}
	return bad.empty();
}

/* The rows of a block of a table: each row's chosen field is its value,
 * and the row is written whole, then the columns, each after the table's
 * separator, then \r where it ended in \r\n; the header row (the block's
 * header_line) gets the columns' names, or where it repeats the first
 * input's is not written.  An empty field gives nan in every
 * column and is counted. */
inline void
rows_of(stream::Block &b, const header::Table &t, Parsed &p)
{
	const char *end = b.in.data() + b.in.size();
	long line = b.first_line;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1) {
		stop = fields::record_end(l, end, t.sep);
		long first = line;
		line += 1 + std::count(l, stop, '\n');
		const char *text_end = stop > l && stop[-1] == '\r' ? stop - 1 : stop;
		std::size_t k = std::strspn(l, " \t\r");
		if (l + k == stop || l[k] == '#') {
			p.records.push_back({l, stop, stop, Record::passed});
			continue;
		}
		if (first == b.header_line) {
			if (!b.repeated)
				p.records.push_back({l, text_end, stop, Record::header});
			continue;
		}
		double x[2] = {NAN, NAN};
		bool empty = false;
		std::string bad;
		if (!fields_of(t, l, text_end, x, empty, bad)) {
			b.bad_line = first, b.bad_text = bad;
			return;
		}
		b.empty += empty;
		p.records.push_back({l, text_end, stop, Record::row});
		for (int j = 0; j < t.count; j++)
			p.values.push_back(x[j]), p.lines.push_back(first);
	}
}

/* The redshifts of the rows' values (given, or found by -from) in zs, and
 * the depths at them. */
inline void
redshifts(const Setup &s, const Parsed &p, std::vector<double> &zs, std::vector<expansion::Depth> &d)
{
	std::size_t count = p.values.size();
	zs.resize(count);
	d.resize(count);
	if (s.inverse.quantity == columns::z) {
		expansion::depths(s.inverse.kernel, s.u, p.values.data(), count, d.data());
		zs = p.values;
	} else {
		inverse::redshifts(s.inverse, p.values.data(), p.lines.data(), count, zs.data(), d.data());
	}
}

/* Parses a block's records, computes the numbers and formats what it prints:
 * for a redshift its distances (and times); for another quantity's value
 * the redshift at which it is reached, then that redshift's numbers. */
inline void
compute(stream::Block &b, const void *setup)
{
	const Setup &s = *static_cast<const Setup *>(setup);
	/* Each thread keeps its room from block to block. */
	thread_local Parsed p;
	thread_local std::vector<double> zs;
	thread_local std::vector<expansion::Depth> d;
	p.records.clear(), p.values.clear(), p.lines.clear();
	if (s.table)
		rows_of(b, s.heads, p);
	else
		lines_of(b, p, s.pairs, s.decimal);
	redshifts(s, p, zs, d);

	char sep = s.table ? s.heads.sep : '\t';
	std::size_t n = 0;
	for (const Record &r : p.records) {
		b.out.append(r.text, r.text_end);
		if (r.kind == Record::header)
			b.out.append(s.heads.names);
		for (std::size_t c = 0; r.kind == Record::row && c < s.columns.size(); c++) {
			b.out.push_back(sep);
			numbers::put(b.out,
				     s.pairs ? columns::pair_value(s.columns[c], zs[n], zs[n + 1], s.u, d[n], d[n + 1])
					     : columns::value(s.columns[c], zs[n], s.u, d[n]),
				     s.digits, s.decimal);
		}
		if (r.kind == Record::row && s.pairs)
			b.reversed += zs[n] > zs[n + 1];
		if (r.kind == Record::row && s.inverse.quantity == columns::z)
			b.negative += zs[n] < 0 || (s.pairs && zs[n + 1] < 0);
		n += r.kind == Record::row ? 1 + s.pairs : 0;
		b.out.append(r.text_end, r.rest_end).push_back('\n');
	}
}

} // namespace rows
