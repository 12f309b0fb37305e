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

static char *
append(char *to, const char *s)
{
	while (*s)
		*to++ = *s++;
	return to;
}

// Appends s, up to end or its NUL, escaped as C writes it (4 bytes at most
// for one): no line drives a terminal, and UTF-8 has C1 and bidi controls.
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

// Writes before, the name, middle, quoted and a quote, ": " and why, each
// but the name where given, as one line in one write on standard error.
static void
say(const char *before, const char *middle, const char *quoted = nullptr,
    const char *end = nullptr, const char *why = nullptr)
{
	size_t size = strlen(before) + 4 * strlen(argv0) + strlen(middle) +
		      (why ? strlen(why) + 2 : 0) + 2;
	if (quoted)
		size += 4 * (end ? size_t(end - quoted) : strlen(quoted));
	auto *line = static_cast<char *>(malloc(size));
	if (!line) {
		fputs("osc-send: out of memory\n", stderr);
		return;
	}
	char *to = append(escape(append(line, before), argv0, nullptr), middle);
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
	    " <OSC URL> [<values>]\n\nexample OSC URLs:\n\n"
	    "  osc.udp://localhost:19383/path/test 1.0 4.2\n"
	    "  osc.udp://remote.example.com:10886/3/13/load file\n\n"
	    "numeric arguments will be treated as OSC 'f' floating "
	    "point types.\n");
	exit(1);
}

// Whether a, which may be null, reads as b.
static bool
same(const char *a, const char *b)
{
	while (a && *a && *a == *b)
		a++, b++;
	return a && *a == *b;
}

// What c, outside printable ASCII, is ("a full-width '" precedes its ASCII
// character), by glibc's C.UTF-8 classes; the process's locale stays POSIX.
static const char *
what_is(char32_t c, bool host)
{
	if (c >= 0xff01 && c <= 0xff5e)
		return "a full-width '";
	// ASCII here is a control or blank; glibc's blanks lack no-break ones.
	if (c < 0x80 || c == 0xa0 || c == 0x2007 || c == 0x202f)
		return c < ' ' || c == 0x7f ? "a control character" : "a blank";
	locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
	if (!l)
		return "which is not ASCII";
	locale_t was = uselocale(l);
	auto is = [c](const char *name) { return iswctype(c, wctype(name)); };
	const char *idn = "which is not ASCII: a host name outside ASCII is "
			  "written in its xn-- form";
	const char *what = is("cntrl")       ? "a control character"
			   : is("space")     ? "a blank"
			   : is("combining") ? host ? idn : "a combining mark"
			   : wcwidth(wchar_t(c)) == 0 ? "a zero-width character"
			   : host && is("alpha")      ? idn
						      : "which is not ASCII";
	uselocale(was);
	freelocale(l);
	return what;
}

// Writes a refused URL's line: why, or the part and the character it names.
static void
refused(const char *url, const char *why, const url_parts &u)
{
	if (why != refusal::character && why != refusal::not_utf8)
		return say("", ": invalid OSC URL '", url, nullptr, why);
	// The longest: "the host holds U+10FFFF, " and the xn-- hint.
	char said[160] = {};
	char *to = append(append(append(said, "the "), u.part), " holds ");
	char32_t c = code_point(u.at);
	if (why == refusal::not_utf8) {
		to = escape(append(to, "the byte "), u.at, u.at + 1);
	} else {
		to = append(to, "U+");
		for (int shift = 20; shift >= 0; shift -= 4)
			if (shift < 16 || c >> shift)
				*to++ = "0123456789ABCDEF"[c >> shift & 0xf];
		why = what_is(c, same(u.part, "host"));
	}
	to = append(append(to, ", "), why);
	if (c >= 0xff01 && c <= 0xff5e) {
		*to++ = char(c - 0xfee0);
		*to++ = '\'';
	}
	*to = '\0';
	say("", ": invalid OSC URL '", url, nullptr, said);
}

// Sends msg; returns the exit status. liblo's line goes to standard output,
// where callers parse it, and a failure it did not record fails too.
static int
send_message(lo_address to, const url_parts &u, lo_message msg)
{
	int sent = lo_send_message(to, u.path, msg);
	if (lo_address_errno(to) == 0 && sent >= 0)
		return 0;
	const char *why =
		lo_address_errno(to) ? lo_address_errstr(to) : nullptr;
	if (why)
		printf("liblo error: %s\n", why);
	say("", ": the message was not sent to '", u.authority, u.path, why);
	return 1;
}

// Host and port, each ended in a copy: "[::1]:9" holds "::1" and "9".
// liblo does not report a failed copy of its own: it must read as given.
static lo_address
new_address(const url_parts &u, char *copy)
{
	if (!copy)
		return nullptr;
	size_t n = size_t(u.path - u.authority);
	append(copy, u.authority);
	copy[u.host_end - u.authority] = copy[n] = '\0';
	const char *host = copy + (u.host - u.authority);
	const char *port = copy + (u.port - u.authority);
	lo_address to = lo_address_new(host, port);
	if (to && same(lo_address_get_hostname(to), host) &&
	    same(lo_address_get_port(to), port))
		return to;
	lo_address_free(to);
	return nullptr;
}

// The text after the last '/' of argv[0], or all of "./bin/".
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
	url_parts u;
	if (const char *why = split_url(argv[1], u)) {
		refused(argv[1], why, u);
		return 1;
	}

	auto *copy = static_cast<char *>(malloc(strlen(argv[1]) + 1));
	lo_address to = new_address(u, copy);
	lo_message msg = lo_message_new();
	// A message that lacks a value must not go out: all values or none.
	bool whole = to && msg;
	for (int k = 2; whole && k < argc; k++)
		whole = append_value(msg, argv[k]) == 0;
	int status = whole ? send_message(to, u, msg) : 1;
	if (!whole)
		say("", ": out of memory");

	free(copy);
	lo_message_free(msg);
	lo_address_free(to);
	return status;
}
