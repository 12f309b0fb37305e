// The URL split and the value typing, shared by the program and its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <arpa/inet.h>

#include <initializer_list>
#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

// Why a URL is refused, as the manual lists them.
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
	no_host[] = "the host is empty", star[] = "* is no host",
	host_brackets[] = "the host holds a [ or ] that encloses no IPv6 "
			  "address",
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
	no_port[] = "the port is missing", no_path[] = "the path is missing",
	not_number[] = "the port is not a decimal number",
	range[] = "the port is out of range (1 to 65535)",
	after_port[] = "what follows the port is not /PATH",
	// A character that breaks a part's rule; not_utf8 follows a byte.
	character[] = "the PART holds U+XXXX",
	not_utf8[] = "which is not UTF-8";
} // namespace refusal

// ASCII's classes, in any locale and without calls into libc.
inline bool
ascii_digit(char c)
{
	return c >= '0' && c <= '9';
}

inline bool
ascii_alnum(char c)
{
	return ascii_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// isgraph: printable ASCII but the blank, what OSC 1.0 allows in an address.
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

inline const char *
find(const char *s, const char *end, char c)
{
	for (; s < end; s++)
		if (*s == c)
			return s;
	return nullptr;
}

// The length of the UTF-8 character at s, or 0 where s begins none.
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

// The code point of the UTF-8 character at s, or 0 where s begins none.
inline char32_t
code_point(const char *s)
{
	const auto *u = reinterpret_cast<const unsigned char *>(s);
	size_t n = utf8_length(s);
	char32_t c = n == 1 ? u[0] : n ? u[0] & (0x7f >> n) : 0;
	for (size_t i = 1; i < n; i++)
		c = c << 6 | (u[i] & 0x3f);
	return c;
}

// Whether the character at s is one of Unicode's Quotation_Mark.
inline bool
quotation_mark(const char *s)
{
	static constexpr char32_t marks[][2] = {
		{0x22, 0x22},     {0x27, 0x27},     {0xab, 0xab},
		{0xbb, 0xbb},     {0x2018, 0x201f}, {0x2039, 0x203a},
		{0x2e42, 0x2e42}, {0x300c, 0x300f}, {0x301d, 0x301f},
		{0xfe41, 0xfe44}, {0xff02, 0xff02}, {0xff07, 0xff07},
		{0xff62, 0xff63},
	};
	char32_t c = code_point(s);
	for (const char32_t *mark : marks)
		if (c >= mark[0] && c <= mark[1])
			return true;
	return false;
}

// Each step reads at `at` and moves it on, or stops where `part` breaks.
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

// Reads "osc://" or "osc.TRANSPORT://", in any case.
inline const char *
read_scheme(url_parts &u)
{
	const char *p = u.at;
	if (const char *c = differs(p, "osc"))
		return blame(u, c, "scheme", refusal::scheme);
	p += 3;
	if (*p && *p != '.' && *p != ':' && *p != '/')
		return blame(u, p, "scheme", refusal::scheme);
	u.transport = *p == '.';
	if (u.transport) {
		const char *name = ++p;
		while (ascii_alnum(*p))
			p++;
		if (p == name || (*p && *p != ':' && *p != '/'))
			return blame(u, p, "scheme", refusal::transport);
	}
	for (int i = 0; i < 3; i++)
		if (p[i] != "://"[i])
			return blame(u, p + i, "scheme", refusal::slashes);
	if (u.transport && p - u.at == 8 && !differs(u.at + 4, "unix"))
		return refusal::socket_file;
	u.at = p + 3;
	// A URL pasted after its own scheme: "osc.udp://osc.udp://h:1/x".
	url_parts again = u;
	const char *why = read_scheme(again);
	return !why || why == refusal::twice ? refusal::twice : nullptr;
}

// The loop stops at a NUL too, so that the compiler makes no memcpy of it.
inline bool
address_literal(int family, const char *s, size_t len)
{
	char text[INET6_ADDRSTRLEN];
	in6_addr addr;
	size_t n = 0;

	if (len >= sizeof text)
		return false;
	for (; n < len && s[n]; n++)
		text[n] = s[n];
	text[n] = '\0';
	return inet_pton(family, text, &addr) == 1;
}

// Whether the host "ends in a number", as the WHATWG URL standard puts it,
// which glibc reads its own way: only what inet_pton reads passes.
inline bool
ends_in_number(const char *start, const char *end)
{
	if (end[-1] == '.')
		end--;
	const char *s = end;
	while (s > start && s[-1] != '.')
		s--;
	if (s == end)
		return false;
	bool hex = end - s >= 2 && s[0] == '0' && (s[1] | 0x20) == 'x';
	for (s += hex ? 2 : 0; s < end; s++)
		if (!ascii_digit(*s) &&
		    (!hex || (*s | 0x20) < 'a' || (*s | 0x20) > 'f'))
			return false;
	return true;
}

// Why a host that ends in a number is no dotted quad for inet_pton.
inline const char *
number_refusal(const char *start, const char *end)
{
	int labels = 0;
	bool zero = false;
	for (const char *s = start; s <= end; labels++) {
		const char *label = s;
		while (s < end && ascii_digit(*s))
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

// Reads an IPv6 address in brackets, up to end. liblo, in the receivers
// that print such URLs, reads no host in "osc://[::1]:9/x".
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

// Whether the authority at s begins with an IPv6 address, with or without
// a last ":PORT"; "127.0.0.1:9000:" is a host and port with more after it.
inline bool
ipv6_first(const char *s)
{
	const char *end = s;
	int colons = 0;
	for (; ascii_alnum(*end) || *end == '.' || *end == ':'; end++)
		colons += *end == ':';
	if (colons < 2)
		return false;
	if (address_literal(AF_INET6, s, size_t(end - s)))
		return true;
	while (end[-1] != ':')
		end--;
	return address_literal(AF_INET6, s, size_t(end - 1 - s));
}

// Reads the host. A user part or an IPv6 address without brackets changes
// how the rest of the authority reads, so they are found first.
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
	while (ascii_graph(*s) && *s != ':' && *s != '/' && *s != '[' &&
	       *s != ']')
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
inline const char *
read_port(url_parts &u)
{
	const char *p = u.at;
	long value = 0;

	if (*p != ':')
		return refusal::no_port;
	u.port = ++p;
	for (; ascii_digit(*p); p++)
		if (value <= 65535)
			value = value * 10 + (*p - '0');
	bool number = p > u.port && !ascii_alnum(*p);
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

// Reads the path, with the '#' and ',' OSC 1.0 keeps out of names: they go.
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

// Reads url into u, as liblo's URL functions do not always: why it fails.
inline const char *
split_url(const char *url, url_parts &u)
{
	u = url_parts{};
	u.at = url;
	if (*url == '-')
		return refusal::option;
	// A quotation mark that ends it, not one followed by stray bytes.
	const char *end = url + strlen(url), *last = end > url ? end - 1 : url;
	while (last > url && end - last < 4 && (*last & 0xc0) == 0x80)
		last--;
	if (quotation_mark(url) ||
	    (last + utf8_length(last) == end && quotation_mark(last)))
		return refusal::quoted;
	for (auto read : {read_scheme, read_host, read_port, read_path})
		if (const char *why = read(u))
			return why;
	return nullptr;
}

// Appends text as the manual types a value (strtod is atof, in the POSIX
// locale the program never leaves); non-zero where liblo failed.
inline int
append_value(lo_message msg, const char *text)
{
	if (ascii_digit(text[0]))
		return lo_message_add_float(
			msg, static_cast<float>(strtod(text, nullptr)));
	return lo_message_add_string(msg, text);
}

#endif
