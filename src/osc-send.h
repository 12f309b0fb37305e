// The URL split and the value typing, shared by the program and its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include <lo/lo.h>

// The bytes a host name may not hold: they delimit the URL's pieces, and
// the resolver would stop reading at white space.
inline bool
host_byte(unsigned char c)
{
	return c > ' ' && c != 0x7f && c != ':' && c != '/' && c != '[' &&
	       c != ']';
}

// Returns the end of "osc://" or "osc.TRANSPORT://", or nullptr.
inline const char *
skip_scheme(const char *s, bool *transport)
{
	if (strncmp(s, "osc", 3) != 0)
		return nullptr;
	s += 3;
	*transport = *s == '.';
	if (*transport) {
		const char *name = ++s;
		while (isalnum(static_cast<unsigned char>(*s)))
			s++;
		if (s == name)
			return nullptr;
	}
	return strncmp(s, "://", 3) == 0 ? s + 3 : nullptr;
}

// Returns whether the len bytes at s are an IPv6 address, and nothing else
// that might look like one ("127.0.0.1", "cafe").
inline bool
ipv6_literal(const char *s, size_t len)
{
	char text[INET6_ADDRSTRLEN];
	in6_addr addr;

	if (len >= sizeof text)
		return false;
	memcpy(text, s, len);
	text[len] = '\0';
	return inet_pton(AF_INET6, text, &addr) == 1;
}

// Finds the host at s: a host name, or an IPv6 address in brackets, which
// only a named transport may carry. Sets *start and *end around it, without
// the brackets, and returns where the URL goes on, or nullptr.
inline const char *
skip_host(const char *s, bool transport, const char **start, const char **end)
{
	*start = s;
	if (*s != '[') {
		while (host_byte(static_cast<unsigned char>(*s)))
			s++;
		*end = s;
		return s == *start ? nullptr : s;
	}
	*start = ++s;
	*end = strchr(s, ']');
	if (!transport || !*end ||
	    !ipv6_literal(*start, static_cast<size_t>(*end - *start)))
		return nullptr;
	return *end + 1;
}

// Returns the end of ":PORT" with PORT in 1..65535, or nullptr. The value is
// checked here because the resolver silently wraps larger ones.
inline const char *
skip_port(const char *s)
{
	long value = 0;
	const char *start;

	if (*s++ != ':')
		return nullptr;
	for (start = s; isdigit(static_cast<unsigned char>(*s)); s++)
		if (value <= 65535)
			value = value * 10 + (*s - '0');
	return s == start || value < 1 || value > 65535 ? nullptr : s;
}

// Reads url, of the form osc[.TRANSPORT]://HOST:PORT/PATH, in one pass.
// Returns the path, which is the tail of url, and sets *host and *port to
// new copies of those pieces (nullptr where memory ran out; free both).
// Returns nullptr, with both set to nullptr, for a URL of any other form:
// liblo's own URL functions overread or misread those.
inline const char *
split_url(const char *url, char **host, char **port)
{
	bool transport;
	const char *host_start = nullptr, *host_end = nullptr;
	const char *port_start = nullptr;
	const char *s = skip_scheme(url, &transport);

	*host = *port = nullptr;
	if (s)
		s = skip_host(s, transport, &host_start, &host_end);
	if (s) {
		port_start = s + 1;
		s = skip_port(s);
	}
	if (!s || *s != '/')
		return nullptr;
	// liblo would cut the address at the first blank.
	for (const char *p = s; *p; p++)
		if (static_cast<unsigned char>(*p) <= ' ' || *p == 0x7f)
			return nullptr;
	*host = strndup(host_start, static_cast<size_t>(host_end - host_start));
	*port = strndup(port_start, static_cast<size_t>(s - port_start));
	return s;
}

// A value whose first byte is an ASCII digit is a float, anything else
// ("-1", ".5", "nan", "") a string. strtod, as atof does, ignores what
// follows the number; the double is then rounded to float. Returns liblo's
// status: non-zero when the value could not be added.
inline int
append_value(lo_message msg, const char *text)
{
	if (isdigit(static_cast<unsigned char>(text[0])))
		return lo_message_add_float(
			msg, static_cast<float>(strtod(text, nullptr)));
	return lo_message_add_string(msg, text);
}

#endif
