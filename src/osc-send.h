// The URL split and the value typing, shared by the program and its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <arpa/inet.h>

#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

// Why a URL is refused, as the manual lists it. Where a character breaks
// the rule of a part, the reason is `character`, and the program says
// "the PART holds" the character and what it is, from the texts below.
namespace refusal {
constexpr char
	option[] = "there are no options; run with no arguments for the usage",
	quoted[] = "it begins or ends with a quotation mark",
	scheme[] = "it does not begin with osc:// or osc.TRANSPORT://",
	slashes[] = "the scheme is not followed by ://",
	transport[] = "the transport is not ASCII letters and digits",
	twice[] = "the scheme is written twice",
	socket_file[] = "it names a socket file, but the message goes by UDP "
			"to a host and port",
	user[] = "an OSC URL has no user part (user@)",
	unbracketed[] = "an IPv6 address must be in brackets, such as [::1]",
	no_host[] = "the host is empty",
	host_brackets[] = "the host holds a [ or ] that encloses no IPv6 "
			  "address",
	star[] = "* is no host",
	quad[] = "a host that ends in a number must be a dotted quad: four "
		 "decimal numbers, nothing after the last",
	octal[] = "a number in the host has a leading zero, which the "
		  "resolver reads as octal",
	above_255[] = "a number in the dotted quad is above 255",
	plain[] = "only osc.TRANSPORT:// may carry a bracketed IPv6 address",
	unclosed[] = "the [ of the IPv6 address has no ]",
	brackets[] = "the brackets hold no IPv6 address",
	zone[] = "an IPv6 address with a zone (%) cannot be sent to",
	after_bracket[] = "what follows the ] of the IPv6 address is not :PORT",
	no_port[] = "the port is missing",
	not_number[] = "the port is not a decimal number",
	range[] = "the port is out of range (1 to 65535)",
	after_port[] = "what follows the port is not /PATH",
	no_path[] = "the path is missing",
	character[] = "the PART holds a character outside printable ASCII",
	// What the character is, after "the PART holds U+XXXX, ".
	control[] = "a control character", blank[] = "a blank",
	zero_width[] = "a zero-width character",
	combining[] = "a combining mark", full_width[] = "a full-width",
	not_ascii[] = "which is not ASCII",
	idn[] = "which is not ASCII: a host name outside ASCII is written in "
		"its xn-- form",
	// After "the PART holds the byte \NNN, ".
	not_utf8[] = "which is not UTF-8";
} // namespace refusal

// A URL's characters and a value's first digit are ASCII's in any locale:
// these tests, unlike <ctype.h>'s, are never calls into libc.
inline bool
ascii_digit(unsigned char c)
{
	return c >= '0' && c <= '9';
}

// Setting 0x20 makes an ASCII capital small and leaves a small one.
inline bool
ascii_alnum(unsigned char c)
{
	unsigned char small = c | 0x20;
	return ascii_digit(c) || (small >= 'a' && small <= 'z');
}

inline bool
ascii_xdigit(char c)
{
	auto small = static_cast<unsigned char>(c | 0x20);
	return ascii_digit(static_cast<unsigned char>(c)) ||
	       (small >= 'a' && small <= 'f');
}

// What ctype calls isgraph: printable ASCII but the blank, which is what
// OSC 1.0 allows in an address.
inline bool
ascii_graph(char c)
{
	return c > ' ' && c < 0x7f;
}

// Where s first differs from word, in small letters, in any case.
inline const char *
differs(const char *s, const char *word)
{
	for (; *word; s++, word++)
		if ((*s | 0x20) != *word)
			return s;
	return nullptr;
}

// Whether c is one of set or its NUL, as strchr finds it; a loop, where
// strchr would be one more symbol for the dynamic loader to bind at start.
inline bool
one_of(char c, const char *set)
{
	for (; *set != c; set++)
		if (!*set)
			return false;
	return true;
}

// The first c from s up to end, or nullptr.
inline const char *
find(const char *s, const char *end, char c)
{
	for (; s < end; s++)
		if (*s == c)
			return s;
	return nullptr;
}

// The length of the UTF-8 character at s, or 0 where s begins none (an
// overlong form, a surrogate...). It reads no further than a NUL.
inline size_t
utf8_length(const char *s)
{
	const auto *u = reinterpret_cast<const unsigned char *>(s);
	if (u[0] < 0x80)
		return 1;
	if (u[0] < 0xc2 || u[0] > 0xf4)
		return 0;
	size_t n = u[0] < 0xe0 ? 2 : u[0] < 0xf0 ? 3 : 4;
	unsigned lo = u[0] == 0xe0 ? 0xa0 : u[0] == 0xf0 ? 0x90 : 0x80;
	unsigned hi = u[0] == 0xed ? 0x9f : u[0] == 0xf4 ? 0x8f : 0xbf;
	if (u[1] < lo || u[1] > hi)
		return 0;
	for (size_t i = 2; i < n; i++)
		if ((u[i] & 0xc0) != 0x80)
			return 0;
	return n;
}

// The code point of the well-formed UTF-8 character of n bytes at s.
inline char32_t
code_point(const char *s, size_t n)
{
	const auto *u = reinterpret_cast<const unsigned char *>(s);
	char32_t c = n == 1 ? u[0] : u[0] & (0x7f >> n);
	for (size_t i = 1; i < n; i++)
		c = c << 6 | (u[i] & 0x3f);
	return c;
}

// Whether the character at s is one of Unicode's Quotation_Mark.
inline bool
quotation_mark(const char *s)
{
	static constexpr struct {
		char32_t first, last;
	} marks[] = {
		{0x22, 0x22},     {0x27, 0x27},     {0xab, 0xab},
		{0xbb, 0xbb},     {0x2018, 0x201f}, {0x2039, 0x203a},
		{0x2e42, 0x2e42}, {0x300c, 0x300f}, {0x301d, 0x301f},
		{0xfe41, 0xfe44}, {0xff02, 0xff02}, {0xff07, 0xff07},
		{0xff62, 0xff63},
	};
	size_t n = utf8_length(s);
	char32_t c = n ? code_point(s, n) : 0;
	for (const auto &mark : marks)
		if (c >= mark.first && c <= mark.last)
			return true;
	return false;
}

// What a URL is read into: each step reads at `at` and moves it on, or
// leaves it on a character that breaks the rule of `part`. authority to
// path is the host and port as written; host to host_end, the host.
struct url_parts {
	const char *at;
	bool transport; // written as osc.TRANSPORT:// rather than osc://
	const char *authority, *host, *host_end, *port, *path, *part;
};

// Why the character at s breaks the rule of part, else otherwise.
inline const char *
blame(url_parts &u, const char *s, const char *part, const char *otherwise)
{
	if (!*s || ascii_graph(*s))
		return otherwise;
	u.at = s;
	u.part = part;
	return utf8_length(s) ? refusal::character : refusal::not_utf8;
}

// Reads "osc://" or "osc.TRANSPORT://", in any case; one_of finds the NUL
// too, so "osc" alone has its slashes wrong, and "oscar://" is no scheme.
inline const char *
read_scheme(url_parts &u)
{
	const char *p = u.at;
	if (const char *c = differs(p, "osc"))
		return blame(u, c, "scheme", refusal::scheme);
	p += 3;
	if (!one_of(*p, ".:/"))
		return blame(u, p, "scheme", refusal::scheme);
	u.transport = *p == '.';
	if (u.transport) {
		const char *name = ++p;
		while (ascii_alnum(static_cast<unsigned char>(*p)))
			p++;
		if (p == name || !one_of(*p, ":/"))
			return blame(u, p, "scheme", refusal::transport);
	}
	for (int i = 0; i < 3; i++)
		if (p[i] != "://"[i])
			return blame(u, p + i, "scheme", refusal::slashes);
	if (u.transport && p - u.at == 8 && !differs(u.at + 4, "unix"))
		return refusal::socket_file;
	u.at = p + 3;
	// A URL pasted after its own scheme: "osc.udp://osc.udp://h:1/x".
	url_parts again{};
	again.at = u.at;
	const char *why = read_scheme(again);
	return !why || why == refusal::twice ? refusal::twice : nullptr;
}

// Whether the len bytes at s are an address of family as inet_pton reads
// it.
inline bool
address_literal(int family, const char *s, size_t len)
{
	char text[INET6_ADDRSTRLEN];
	in6_addr addr;

	if (len >= sizeof text)
		return false;
	memcpy(text, s, len);
	text[len] = '\0';
	return inet_pton(family, text, &addr) == 1;
}

// Whether the host from start to end "ends in a number", as the WHATWG URL
// standard puts it: its last label, but for one trailing dot, is decimal
// or "0x" and hexadecimal. glibc reads such hosts its own way, which the
// manual shows: only what inet_pton reads passes.
inline bool
ends_in_number(const char *start, const char *end)
{
	if (end - start > 1 && end[-1] == '.')
		end--;
	const char *s = end;
	while (s > start && s[-1] != '.')
		s--;
	if (s == end)
		return false;
	bool hex = end - s >= 2 && s[0] == '0' && (s[1] | 0x20) == 'x';
	for (s += hex ? 2 : 0; s < end; s++)
		if (hex ? !ascii_xdigit(*s)
			: !ascii_digit(static_cast<unsigned char>(*s)))
			return false;
	return true;
}

// Why the host from start to end, which ends in a number, is no dotted quad
// for inet_pton: a leading zero, a number above 255, or another form.
inline const char *
number_refusal(const char *start, const char *end)
{
	int labels = 0;
	bool zero = false;
	for (const char *s = start; s <= end; labels++) {
		const char *label = s;
		while (s < end && ascii_digit(static_cast<unsigned char>(*s)))
			s++;
		if (s == label || (s < end && *s != '.'))
			return refusal::quad;
		zero = zero || (*label == '0' && s - label > 1);
		s++;
	}
	if (labels != 4)
		return refusal::quad;
	return zero ? refusal::octal : refusal::above_255;
}

// Reads an IPv6 address in brackets at u.at, the '[', up to end, where the
// authority ends. liblo, in the receivers that print such URLs, finds
// brackets only after a TRANSPORT, and reads no host in "osc://[::1]:9/x".
inline const char *
read_bracketed(url_parts &u, const char *end)
{
	if (!u.transport)
		return refusal::plain;
	u.host = u.at + 1;
	const char *close = find(u.host, end, ']');
	u.host_end = close ? close : end;
	for (const char *s = u.host; s < u.host_end; s++)
		if (!ascii_graph(*s))
			return blame(u, s, "host", nullptr);
	if (!close)
		return refusal::unclosed;
	const char *zone = find(u.host, u.host_end, '%');
	if (zone && address_literal(AF_INET6, u.host, size_t(zone - u.host)))
		return refusal::zone;
	if (!address_literal(AF_INET6, u.host, size_t(u.host_end - u.host)))
		return refusal::brackets;
	u.at = u.host_end + 1;
	if (u.at < end && *u.at != ':')
		return blame(u, u.at, "host", refusal::after_bracket);
	return nullptr;
}

// Whether the authority at s begins with an IPv6 address: its longest run
// of hex digits, '.' and ':', or that run less a last ":PORT", as inet_pton
// reads it. "fe80::1:9000" and "::ffff:1.2.3.4:9000" are; "h:1:2" and
// "127.0.0.1:9000:" are a host and a port with something after it.
inline bool
ipv6_first(const char *s)
{
	const char *end = s;
	int colons = 0;
	for (; ascii_xdigit(*end) || *end == '.' || *end == ':'; end++)
		colons += *end == ':';
	if (colons < 2)
		return false;
	if (address_literal(AF_INET6, s, size_t(end - s)))
		return true;
	while (end[-1] != ':')
		end--;
	return address_literal(AF_INET6, s, size_t(end - 1 - s));
}

// Reads the host: a name, an IPv4 address, or an IPv6 address in brackets.
// The authority ends at the first '/'; a user part in it, or an IPv6
// address without brackets, changes how all of it reads, so they come
// before a character that breaks the rule.
inline const char *
read_host(url_parts &u)
{
	u.authority = u.at;
	const char *end = u.at;
	while (*end && *end != '/')
		end++;
	if (find(u.at, end, '@'))
		return refusal::user;
	if (*u.at == '[')
		return read_bracketed(u, end);
	if (ipv6_first(u.at))
		return refusal::unbracketed;
	u.host = u.at;
	const char *s = u.at;
	while (ascii_graph(*s) && !one_of(*s, ":/[]"))
		s++;
	u.host_end = u.at = s;
	if (*s == '[' || *s == ']')
		return refusal::host_brackets;
	if (const char *why = blame(u, s, "host", nullptr))
		return why;
	if (s == u.host)
		return refusal::no_host;
	// glibc reads it as no host at all, and sends to loopback.
	if (s - u.host == 1 && *u.host == '*')
		return refusal::star;
	if (ends_in_number(u.host, s) &&
	    !address_literal(AF_INET, u.host, size_t(s - u.host)))
		return number_refusal(u.host, s);
	return nullptr;
}

// Reads ":PORT", with PORT in 1..65535: the resolver wraps larger ones.
// The first character that is no digit decides: a letter makes the port no
// number, other than the '/' of the path it follows the port.
inline const char *
read_port(url_parts &u)
{
	const char *p = u.at;
	long value = 0;

	if (*p != ':')
		return refusal::no_port;
	u.port = ++p;
	for (; ascii_digit(static_cast<unsigned char>(*p)); p++)
		if (value <= 65535)
			value = value * 10 + (*p - '0');
	bool number =
		p > u.port && !ascii_alnum(static_cast<unsigned char>(*p));
	if (*p != '/' && *p != '\0')
		return blame(u, p, "port",
			     number ? refusal::after_port
				    : refusal::not_number);
	if (p == u.port)
		return refusal::no_port;
	if (value < 1 || value > 65535)
		return refusal::range;
	u.at = p;
	return nullptr;
}

// Reads the path, the rest of the URL: the message's address. The '#' and
// ',' that OSC 1.0 keeps out of the names it matches go: receivers use them.
inline const char *
read_path(url_parts &u)
{
	const char *s = u.at;
	if (*s != '/')
		return refusal::no_path;
	u.path = s;
	while (ascii_graph(*s))
		s++;
	return blame(u, s, "path", nullptr);
}

// Whether url is quoted, at its start or end: its last character must end
// it, so that a quotation mark followed by stray bytes is not one. The loop
// imports no strlen.
inline bool
quoted(const char *url)
{
	const char *end = url, *last;
	while (*end)
		end++;
	for (last = end; last > url && end - last < 4;)
		if ((*--last & 0xc0) != 0x80)
			break;
	return quotation_mark(url) ||
	       (last + utf8_length(last) == end && quotation_mark(last));
}

// Reads url, osc[.TRANSPORT]://HOST:PORT/PATH, into u: liblo's own URL
// functions misread some URLs. Returns why it is refused, or nullptr.
inline const char *
split_url(const char *url, url_parts &u)
{
	u = url_parts{};
	u.at = url;
	if (*url == '-')
		return refusal::option;
	if (quoted(url))
		return refusal::quoted;
	const char *why = read_scheme(u);
	if (!why)
		why = read_host(u);
	if (!why)
		why = read_port(u);
	if (!why)
		why = read_path(u);
	return why;
}

// Appends text as the manual types a value: strtod is atof, and reads in
// the POSIX locale, which the program never leaves. Returns liblo's
// status: non-zero where it failed.
inline int
append_value(lo_message msg, const char *text)
{
	if (ascii_digit(static_cast<unsigned char>(text[0])))
		return lo_message_add_float(
			msg, static_cast<float>(strtod(text, nullptr)));
	return lo_message_add_string(msg, text);
}

#endif
