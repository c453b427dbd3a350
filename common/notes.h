/*
 * What the programs tell a person on standard error, never on standard
 * output, which scripts parse: "PROG: note: ..." when an argument is read
 * other than it looks, and the answers to --help and --version.
 */
#pragma once

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { shown_bytes = 40 };

/* Text as given, safe on a terminal: at most shown_bytes of it, with
 * anything a terminal might act on, and the backslash, written \xhh. */
struct Shown {
	char text[4 * shown_bytes + 1];
};

inline Shown
shown(const char *text, std::size_t len)
{
	Shown s;
	char *p = s.text;
	for (std::size_t k = 0; k < len && k < shown_bytes; k++) {
		auto c = static_cast<unsigned char>(text[k]);
		if (c < 0x20 || c >= 0x7f || c == '\\')
			p += std::snprintf(p, 5, "\\x%02x", c);
		else
			*p++ = static_cast<char>(c);
	}
	*p = '\0';
	return s;
}

inline Shown
shown(const char *text)
{
	return shown(text, std::strlen(text));
}

__attribute__((format(printf, 2, 3))) inline void
note(const char *program, const char *format, ...)
{
	std::va_list args;
	va_start(args, format);
	std::fprintf(stderr, "%s: note: ", program);
	std::vfprintf(stderr, format, args);
	std::fputc('\n', stderr);
	va_end(args);
}

/* Notes a text read only as far as end, where a conversion stopped: in
 * part (1x as 1), or not at all (as 0).  White space after it is no loss. */
inline void
note_reading(const char *program, const char *text, const char *end, const char *what)
{
	const char *rest = end;
	while (std::isspace(static_cast<unsigned char>(*rest)))
		rest++;
	if (end == text)
		note(program, "read \"%s\" as 0: it does not start with a %s", shown(text).text, what);
	else if (*rest != '\0')
		note(program, "read \"%s\" as \"%s\": the rest is not part of the %s", shown(text).text,
		     shown(text, end - text).text, what);
}

/* A number text read as strtod reads it, with a note where it is not read whole. */
inline double
read_number(const char *program, const char *text)
{
	char *end;
	double x = std::strtod(text, &end);
	note_reading(program, text, end, "number");
	return x;
}

/* Notes the arguments after the first, which the byte tools ignore. */
inline void
note_extra(const char *program, int argc, char *argv[])
{
	if (argc > 3)
		note(program, "ignored \"%s\" and %d more: only the first argument is read",
		     shown(argv[2]).text, argc - 3);
	else if (argc == 3)
		note(program, "ignored \"%s\": only the first argument is read", shown(argv[2]).text);
}

/* Answers --help, by help(), or --version, given as the only argument.
 * Returns whether it did. */
template <typename Help>
inline bool
answer(const char *program, int argc, char *argv[], Help help)
{
	if (argc != 2)
		return false;
	if (!std::strcmp(argv[1], "--version"))
		std::printf("%s (skykit) %s\n", program, KIT_VERSION);
	else if (!std::strcmp(argv[1], "--help"))
		help();
	else
		return false;
	return true;
}

/* The same, the help's lines a null-terminated list. */
inline bool
answer(const char *program, int argc, char *argv[], const char *const *lines)
{
	return answer(program, argc, argv, [lines] {
		for (const char *const *l = lines; *l; l++)
			std::printf("%s\n", *l);
	});
}
