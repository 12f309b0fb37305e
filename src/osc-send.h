// The URL split and the value typing, shared by the program, its tests and
// its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <arpa/inet.h>

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

// What the program says is wrong with a refused URL. The manual lists the
// same texts, and a test holds the two to each other.
namespace refusal {
constexpr char
	option[] = "there are no options; run with no arguments for the usage",
	scheme[] = "it does not begin with osc:// or osc.TRANSPORT://",
	slashes[] = "the scheme is not followed by ://",
	transport[] = "the transport is not ASCII letters and digits",
	not_utf8[] = "it holds a byte that is not UTF-8",
	unbracketed[] = "an IPv6 address must be in brackets, such as [::1]",
	no_host[] = "the host is empty",
	host_bytes[] = "the host holds a blank, a control character, [ or ]",
	star[] = "* is no host",
	quad[] = "a host that ends in a number must be a dotted quad, "
		 "such as 127.0.0.1",
	plain[] = "only osc.TRANSPORT:// may carry a bracketed IPv6 address",
	unclosed[] = "the [ of the IPv6 address has no ]",
	brackets[] = "the brackets hold no IPv6 address",
	no_port[] = "the port is missing",
	not_number[] = "the port is not a decimal number",
	range[] = "the port is out of range (1 to 65535)",
	no_path[] = "the path is missing",
	path_bytes[] = "the path holds a blank or a control character";
} // namespace refusal

// Returns the length of the UTF-8 character at s, 1 for ASCII, or 0 where
// s begins none: a stray continuation byte, an overlong form, a surrogate
// or a code point past U+10FFFF. It reads no further than a NUL.
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

// Whether the character at s is a blank or a control character: ASCII's up
// to the space, DEL, the C1 controls U+0080 to U+009F and the no-break
// space U+00A0. In a host the resolver would stop at them; in either piece
// they would drive a terminal that shows it.
inline bool
blank_or_control(const char *s)
{
	const auto *u = reinterpret_cast<const unsigned char *>(s);
	return u[0] <= ' ' || u[0] == 0x7f || (u[0] == 0xc2 && u[1] <= 0xa0);
}

// Returns the end of the characters at s that are UTF-8, neither blank nor
// control, and not among the ASCII bytes of stop.
inline const char *
skip_text(const char *s, const char *stop)
{
	for (size_t n; *s && !strchr(stop, *s) && !blank_or_control(s) &&
		       (n = utf8_length(s));)
		s += n;
	return s;
}

// Skips "osc://" or "osc.TRANSPORT://", the scheme in any case, at *s and
// sets *transport_named when there is a TRANSPORT. Returns why not: "osc"
// or "osc.udp" followed by anything but "://" (strchr finds the NUL too)
// has its slashes wrong, "oscar://" is another scheme.
inline const char *
skip_scheme(const char **s, bool *transport_named)
{
	const char *p = *s;
	if (*p == '-')
		return refusal::option;
	// Setting 0x20 makes an ASCII capital small and leaves a small one.
	bool osc = (p[0] | 0x20) == 'o' && (p[1] | 0x20) == 's' &&
		   (p[2] | 0x20) == 'c';
	if (!osc || !strchr(".:/", p[3]))
		return refusal::scheme;
	p += 3;
	*transport_named = *p == '.';
	if (*transport_named) {
		const char *name = ++p;
		while (isalnum(static_cast<unsigned char>(*p)))
			p++;
		if (p == name || !strchr(":/", *p))
			return refusal::transport;
	}
	if (p[0] != ':' || p[1] != '/' || p[2] != '/')
		return refusal::slashes;
	*s = p + 3;
	return nullptr;
}

// Returns whether the len bytes at s are an address of family (AF_INET or
// AF_INET6) in the form inet_pton reads, and nothing that might look like
// one: "cafe" is no IPv6 address, "127.1" no IPv4 address.
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

// Whether the host from start to end ends in a number: its last label, but
// for one trailing dot, decimal digits or "0x" and hexadecimal digits.
// glibc reads such a host as inet_aton does, so "010.0.0.1" would go to
// 8.0.0.1, "127.1" to 127.0.0.1 and "4294967295" to the broadcast address.
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
	bool hex = end - s >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
	for (s += hex ? 2 : 0; s < end; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		if (hex ? !isxdigit(c) : !isdigit(c))
			return false;
	}
	return true;
}

// Whether the authority at s, up to the path, is an IPv6 address without
// its brackets, with or without a port: "::1", "fe80::1:9000".
inline bool
bare_ipv6(const char *s)
{
	const char *end = s, *last = nullptr;
	int colons = 0;
	for (; *end && *end != '/'; end++)
		if (*end == ':') {
			colons++;
			last = end;
		}
	return colons > 1 && (address_literal(AF_INET6, s, size_t(end - s)) ||
			      address_literal(AF_INET6, s, size_t(last - s)));
}

// Returns why the host from start to end, end being the byte that stopped
// it, cannot be sent to, or nullptr when it can.
inline const char *
refuse_host(const char *start, const char *end)
{
	if (!utf8_length(end))
		return refusal::not_utf8;
	if (*end == ':' && bare_ipv6(start))
		return refusal::unbracketed;
	if (*end != ':' && *end != '/' && *end != '\0')
		return refusal::host_bytes;
	if (end == start)
		return refusal::no_host;
	// glibc reads it as no host at all, and sends to loopback.
	if (end - start == 1 && *start == '*')
		return refusal::star;
	if (ends_in_number(start, end) &&
	    !address_literal(AF_INET, start, size_t(end - start)))
		return refusal::quad;
	return nullptr;
}

// Skips the host at *s: a host name, an IPv4 address, or an IPv6 address in
// brackets, which only a named transport may carry. Sets *start and *end
// around it, without the brackets. Returns why not.
inline const char *
skip_host(const char **s, bool transport_named, const char **start,
	  const char **end)
{
	*start = *s;
	if (**s != '[') {
		*s = *end = skip_text(*s, ":/[]");
		return refuse_host(*start, *end);
	}
	if (!transport_named)
		return refusal::plain;
	*start = *s + 1;
	*end = strchr(*start, ']');
	if (!*end)
		return refusal::unclosed;
	if (!address_literal(AF_INET6, *start, size_t(*end - *start)))
		return refusal::brackets;
	*s = *end + 1;
	return nullptr;
}

// Skips ":PORT" at *s, with PORT in 1..65535. The value is checked here
// because the resolver silently wraps larger ones. Returns why not.
inline const char *
skip_port(const char **s)
{
	const char *p = *s;
	long value = 0;

	if (*p++ != ':')
		return refusal::no_port;
	const char *digits = p;
	for (; isdigit(static_cast<unsigned char>(*p)); p++)
		if (value <= 65535)
			value = value * 10 + (*p - '0');
	if (p == digits && (*p == '/' || *p == '\0'))
		return refusal::no_port;
	if (p == digits || (*p != '/' && *p != '\0'))
		return refusal::not_number;
	if (value < 1 || value > 65535)
		return refusal::range;
	*s = p;
	return nullptr;
}

// Returns why the path at s cannot be sent, or nullptr when it can. OSC 1.0
// allows no blank in an address; a control character would drive the
// terminal of whoever reads the receiver's log.
inline const char *
refuse_path(const char *s)
{
	if (*s != '/')
		return refusal::no_path;
	s = skip_text(s, "");
	if (!*s)
		return nullptr;
	return utf8_length(s) ? refusal::path_bytes : refusal::not_utf8;
}

// Reads url, of the form osc[.TRANSPORT]://HOST:PORT/PATH, in one pass:
// liblo's own URL functions overread or misread some URLs. Returns nullptr,
// and sets *path to the path, which is the tail of url, and *host and *port
// to new copies of those pieces (nullptr where memory ran out; free both).
// For a URL of any other form returns what is wrong, with all three nullptr.
inline const char *
split_url(const char *url, const char **path, char **host, char **port)
{
	bool transport_named = false;
	const char *s = url, *host_start = nullptr, *host_end = nullptr;

	*path = nullptr;
	*host = *port = nullptr;
	const char *why = skip_scheme(&s, &transport_named);
	if (!why)
		why = skip_host(&s, transport_named, &host_start, &host_end);
	const char *port_start = s + 1;
	if (!why)
		why = skip_port(&s);
	if (!why)
		why = refuse_path(s);
	if (why)
		return why;
	*path = s;
	*host = strndup(host_start, size_t(host_end - host_start));
	*port = strndup(port_start, size_t(s - port_start));
	return nullptr;
}

// A value whose first byte is an ASCII digit is a float, anything else
// ("-1", ".5", "nan", "") a string. strtod, as atof does, ignores what
// follows the number; the double is then rounded to float. The program
// never calls setlocale, so strtod reads a decimal point, never a comma,
// whatever the user's locale. Returns liblo's status: non-zero when the
// value could not be added.
inline int
append_value(lo_message msg, const char *text)
{
	if (isdigit(static_cast<unsigned char>(text[0])))
		return lo_message_add_float(
			msg, static_cast<float>(strtod(text, nullptr)));
	return lo_message_add_string(msg, text);
}

#endif
