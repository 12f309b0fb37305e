// osc-send: send one Open Sound Control message as one UDP datagram.
#include <cstdio>
#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include <lo/lo.h>

#include "osc-send.h"

// The name the program was run by, for its messages; set once in main.
static const char *argv0;

// The length of s: a loop, where strlen would be one more symbol for the
// dynamic loader to bind at every start.
static size_t
length(const char *s)
{
	const char *end = s;
	while (*end)
		end++;
	return size_t(end - s);
}

// Copies s to to and returns the new end.
static char *
append(char *to, const char *s)
{
	while (*s)
		*to++ = *s++;
	return to;
}

// Appends s, up to end or its NUL, with each byte outside printable ASCII
// escaped as C writes it and a backslash doubled, so that a diagnostic
// stays one line and drives no terminal (UTF-8 has C1 and bidi controls).
// It writes at most 4 bytes for each byte of s.
static char *
escape(char *to, const char *s, const char *end)
{
	for (; end ? s < end : *s; s++) {
		auto c = static_cast<unsigned char>(*s);
		const char *named = c == '\\'   ? "\\\\"
				    : c == '\n' ? "\\n"
				    : c == '\r' ? "\\r"
				    : c == '\t' ? "\\t"
						: nullptr;
		if (named) {
			to = append(to, named);
		} else if (c < ' ' || c >= 0x7f) {
			*to++ = '\\';
			*to++ = char('0' + (c >> 6));
			*to++ = char('0' + (c >> 3 & 7));
			*to++ = char('0' + (c & 7));
		} else {
			*to++ = char(c);
		}
	}
	return to;
}

// Writes before, the name, middle, quoted (up to end, or its NUL) and a
// closing quote where it is given, ": " and why where it is given, and a
// newline, with the name and quoted escaped, in one write on standard
// error, so that the line never mixes with another program's.
static void
say(const char *before, const char *middle, const char *quoted = nullptr,
    const char *end = nullptr, const char *why = nullptr)
{
	size_t size = length(before) + 4 * length(argv0) + length(middle) +
		      (why ? length(why) + 2 : 0) + 2;
	if (quoted)
		size += 4 * (end ? size_t(end - quoted) : length(quoted));
	auto *line = static_cast<char *>(malloc(size));
	if (!line) {
		fputs("osc-send: out of memory\n", stderr);
		return;
	}
	char *to = escape(append(line, before), argv0, nullptr);
	to = append(to, middle);
	if (quoted) {
		to = escape(to, quoted, end);
		*to++ = '\'';
	}
	if (why)
		to = append(append(to, ": "), why);
	*to++ = '\n';
	fwrite(line, 1, size_t(to - line), stderr);
	free(line);
}

[[noreturn]] static void
usage()
{
	say("\nusage: ",
	    " <OSC URL> [<values>]\n\n"
	    "example OSC URLs:\n\n"
	    "  osc.udp://localhost:19383/path/test 1.0 4.2\n"
	    "  osc.udp://remote.example.com:10886/3/13/load file\n\n"
	    "numeric arguments will be treated as OSC 'f' "
	    "floating point types.\n");
	exit(1);
}

// Whether a, which may be null, reads as b.
static bool
same(const char *a, const char *b)
{
	if (!a)
		return false;
	while (*a && *a == *b)
		a++, b++;
	return *a == *b;
}

// Whether c is in the class of that name in the locale l.
static bool
in_class(char32_t c, const char *name, locale_t l)
{
	return iswctype_l(wint_t(c), wctype_l(name, l), l) != 0;
}

// What the character c is, where it breaks the rule of part: Unicode's
// classes as the C library's C.UTF-8 locale has them, read without
// touching the process's locale, which stays POSIX for the values. Those
// leave out of the blanks the no-break spaces, which Unicode counts.
static const char *
what_is(char32_t c, const char *part)
{
	if (c < 0x80)
		return c == ' ' ? refusal::blank : refusal::control;
	if (c >= 0xff01 && c <= 0xff5e)
		return refusal::full_width;
	if (c == 0xa0 || c == 0x2007 || c == 0x202f)
		return refusal::blank;
	locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
	if (!utf8)
		return refusal::not_ascii;
	bool host = same(part, "host");
	locale_t was = uselocale(utf8);
	int width = wcwidth(wchar_t(c));
	uselocale(was);
	const char *what = refusal::not_ascii;
	if (in_class(c, "cntrl", utf8))
		what = refusal::control;
	else if (in_class(c, "space", utf8))
		what = refusal::blank;
	else if (in_class(c, "combining", utf8))
		what = host ? refusal::idn : refusal::combining;
	else if (width == 0)
		what = refusal::zero_width;
	else if (host && in_class(c, "alpha", utf8))
		what = refusal::idn;
	freelocale(utf8);
	return what;
}

// Appends n in hex digits, at least four, as Unicode writes a code point.
static char *
append_hex(char *to, char32_t n)
{
	int digits = 4;
	while (digits < 8 && n >> 4 * digits)
		digits++;
	while (digits--)
		*to++ = "0123456789ABCDEF"[n >> 4 * digits & 0xf];
	return to;
}

// Writes the line of a refused URL: why, or where a character breaks the
// rule of a part, the part, the character and what it is.
static void
refused(const char *url, const char *why, const url_parts &u)
{
	// The longest: "the host holds U+10FFFF, " and refusal::idn.
	char said[160];
	char *to = said;
	if (why == refusal::character || why == refusal::not_utf8)
		to = append(append(append(to, "the "), u.part), " holds ");
	if (why == refusal::not_utf8) {
		to = escape(append(to, "the byte "), u.at, u.at + 1);
		to = append(to, ", ");
	} else if (why == refusal::character) {
		char32_t c = code_point(u.at, utf8_length(u.at));
		to = append(append_hex(append(to, "U+"), c), ", ");
		why = what_is(c, u.part);
		if (why == refusal::full_width) {
			to = append(append(to, why), " '");
			*to++ = char(c - 0xfee0);
			why = "'";
		}
	}
	*append(to, why) = '\0';
	say("", ": invalid OSC URL '", url, nullptr, said);
}

// Sends msg; returns the exit status. liblo's error line goes to standard
// output, where callers parse it, and a failure it did not record fails too.
static int
send_message(lo_address to, const url_parts &u, lo_message msg)
{
	int sent = lo_send_message(to, u.path, msg);
	const char *why = nullptr;
	if (lo_address_errno(to) != 0) {
		why = lo_address_errstr(to);
		printf("liblo error: %s\n", why);
	} else if (sent >= 0) {
		return 0;
	}
	say("", ": the message was not sent to '", u.authority, u.path, why);
	return 1;
}

// A copy of the host and port as written, for liblo, which takes each as a
// string: each ends where it ends, so "[::1]:9" holds "::1" and "9".
static char *
copy_authority(const url_parts &u)
{
	size_t n = size_t(u.path - u.authority);
	auto *copy = static_cast<char *>(malloc(n + 1));
	if (!copy)
		return nullptr;
	memcpy(copy, u.authority, n);
	copy[u.host_end - u.authority] = '\0';
	copy[n] = '\0';
	return copy;
}

// liblo does not report a failed copy of host or port, and the send would
// then fail with a misleading error: its copies must read back as given.
static lo_address
new_address(const url_parts &u, const char *authority)
{
	if (!authority)
		return nullptr;
	const char *host = authority + (u.host - u.authority);
	const char *port = authority + (u.port - u.authority);
	lo_address to = lo_address_new(host, port);
	if (!to)
		return nullptr;
	if (same(lo_address_get_hostname(to), host) &&
	    same(lo_address_get_port(to), port))
		return to;
	lo_address_free(to);
	return nullptr;
}

// The text after the last '/' of argv[0], or argv[0] whole where nothing
// follows it ("./bin/"); a missing or empty argv[0] still gets a name.
static const char *
base_name(const char *invocation_path)
{
	if (!invocation_path || !*invocation_path)
		return "osc-send";
	const char *slash = nullptr;
	for (const char *s = invocation_path; *s; s++)
		if (*s == '/')
			slash = s;
	return slash && slash[1] ? slash + 1 : invocation_path;
}

int
main(int argc, char *argv[])
{
	argv0 = base_name(argc > 0 ? argv[0] : nullptr);
	if (argc < 2)
		usage();
	const char *url = argv[1];
	url_parts u;
	if (const char *why = split_url(url, u)) {
		refused(url, why, u);
		return 1;
	}

	char *authority = copy_authority(u);
	lo_address to = new_address(u, authority);
	lo_message msg = lo_message_new();
	// A message that lacks a value must not go out: all values or none.
	bool whole = to && msg;
	for (int k = 2; whole && k < argc; k++)
		whole = append_value(msg, argv[k]) == 0;
	int status = 1;
	if (whole)
		status = send_message(to, u, msg);
	else
		say("", ": out of memory");

	free(authority);
	lo_message_free(msg);
	lo_address_free(to);
	return status;
}
