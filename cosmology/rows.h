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
#include "frames.h"
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
	frames::Asked asked; /* what a record holds beside its redshift */
	frames::Motion sun;  /* the Sun's, for z_cmb */
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
	std::vector<double> observed, cmb; /* with frames, each row's observed redshift and z_cmb */
};

/* A row's chosen fields [l, end) read into x, by slot: false after
 * recording in bad why not, the first slot's first.  A redshift's field
 * that is empty sets empty; a position's or a velocity's that is empty or
 * not a number is nan. */
inline bool
fields_of(const header::Table &t, const char *l, const char *end, double x[header::slots], bool &empty,
	  std::string &bad)
{
	enum { missing, number, blank, text } got[header::slots] = {};
	std::string texts[header::slots]; /* what a field that is not a number holds, shown */
	std::size_t n = 0, last = 0;
	for (int k = 0; k < header::slots; k++)
		last = t.label[k].empty() ? last : std::max(last, t.field[k]);
	n = fields::split(l, end, t.sep, [&](std::string_view f) {
		for (int k = 0; k < header::slots; k++) {
			if (n != t.field[k] || t.label[k].empty())
				continue;
			std::size_t a = f.find_first_not_of(" \t");
			got[k] = a == std::string::npos ? blank : number;
			if (got[k] == number && !numbers::value_of(f.data(), f.data() + f.size(), t.decimal, &x[k]))
				got[k] = text, texts[k] = shown(f.data() + a, f.size() - a).text;
		}
		return n++ < last;
	});
	for (int k = 0; k < header::slots && bad.empty(); k++) {
		if (t.label[k].empty() || got[k] == number)
			continue;
		x[k] = NAN;
		if (got[k] == missing)
			bad = "no " + t.label[k] + ": the row has " + std::to_string(n) + (n == 1 ? " field" : " fields");
		else if (k > header::second)
			continue;
		else if (got[k] == blank)
			empty = true;
		else
			bad = t.label[k] + ": not a number: " + texts[k];
	}
	return bad.empty();
}

/* A record's values x, by slot, put in p: its redshift, and z2 with
 * pairs; with frames its z_cos, the observed redshift and z_cmb, counted
 * in b where it has none. */
inline void
put_value(const Setup &s, stream::Block &b, Parsed &p, long line, const double x[header::slots])
{
	if (!s.asked.any()) {
		p.values.push_back(x[header::first]), p.lines.push_back(line);
		if (s.pairs)
			p.values.push_back(x[header::second]), p.lines.push_back(line);
		return;
	}
	frames::Redshifts r = frames::of(s.sun, s.asked, x[header::first], x[header::second], x[header::ra],
					 x[header::dec], x[header::vpec]);
	b.unframed += !r.framed;
	p.values.push_back(r.cosmological), p.lines.push_back(line);
	p.observed.push_back(r.observed), p.cmb.push_back(r.cmb);
}

/* The rows of a block of a table: each row's chosen field is its value,
 * and the row is written whole, then the columns, each after the table's
 * separator, then \r where it ended in \r\n; the header row (the block's
 * header_line) gets the columns' names, or where it repeats the first
 * input's is not written.  An empty field gives nan in every
 * column and is counted. */
inline void
rows_of(stream::Block &b, const Setup &s, Parsed &p)
{
	const header::Table &t = s.heads;
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
		double x[header::slots] = {NAN, NAN, NAN, NAN, NAN};
		bool empty = false;
		std::string bad;
		if (!fields_of(t, l, text_end, x, empty, bad)) {
			b.bad_line = first, b.bad_text = bad;
			return;
		}
		b.empty += empty;
		p.records.push_back({l, text_end, stop, Record::row});
		put_value(s, b, p, first, x);
	}
}

/* The lines of a block: each holds a number, or with pairs or -zhel two
 * separated by blanks, with blanks around allowed and left out of the
 * text written, or is blank or a comment. */
inline void
lines_of(stream::Block &b, const Setup &s, Parsed &p)
{
	const char *end = b.in.data() + b.in.size();
	long line = b.first_line;
	bool two = s.pairs || s.asked.observed;
	for (const char *l = b.in.data(), *stop; l < end; l = stop + 1, line++) {
		auto nl = static_cast<const char *>(std::memchr(l, '\n', end - l));
		stop = nl ? nl : end;
		std::size_t k = std::strspn(l, " \t\r");
		if (l + k == stop || l[k] == '#') {
			p.records.push_back({l, stop, stop, Record::passed});
			continue;
		}
		/* The second number starts after the first's blanks. */
		const char *cut = l + k;
		while (two && cut < stop && !numbers::blank(*cut))
			cut++;
		double x[header::slots] = {NAN, 0, NAN, NAN, NAN};
		if (!numbers::value_of(l, two ? cut : stop, s.decimal, &x[header::first]) ||
		    (two && !numbers::value_of(cut, stop, s.decimal, &x[header::second]))) {
			b.bad_line = line;
			b.bad_text = std::string(s.pairs ? "not a pair of numbers: " : two ? "not two numbers, z and z_hel: "
											 : "not a number: ") +
				     shown(l + k, stop - l - k).text;
			return;
		}
		const char *last = stop;
		while (numbers::blank(last[-1]))
			last--;
		p.records.push_back({l + k, last, last, Record::row});
		put_value(s, b, p, line, x);
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

/* The column c of the row whose values start at n: of a pair, or of one
 * redshift, with frames that of z_cos seen at the observed redshift. */
inline double
column(const Setup &s, const Parsed &p, columns::Id c, std::size_t n, const std::vector<double> &zs,
       const std::vector<expansion::Depth> &d)
{
	if (s.pairs)
		return columns::pair_value(c, zs[n], zs[n + 1], s.u, d[n], d[n + 1]);
	if (!s.asked.any())
		return columns::value(c, zs[n], s.u, d[n]);
	return c == columns::z_cmb ? p.cmb[n] : columns::value(c, zs[n], s.u, frames::seen(d[n], p.observed[n]));
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
	p.records.clear(), p.values.clear(), p.lines.clear(), p.observed.clear(), p.cmb.clear();
	if (s.table)
		rows_of(b, s, p);
	else
		lines_of(b, s, p);
	redshifts(s, p, zs, d);

	char sep = s.table ? s.heads.sep : '\t';
	std::size_t n = 0;
	for (const Record &r : p.records) {
		b.out.append(r.text, r.text_end);
		if (r.kind == Record::header)
			b.out.append(s.heads.names);
		for (std::size_t c = 0; r.kind == Record::row && c < s.columns.size(); c++) {
			b.out.push_back(sep);
			numbers::put(b.out, column(s, p, s.columns[c], n, zs, d), s.digits, s.decimal);
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
