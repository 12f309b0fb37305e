// The URL check and the value typing, shared by the program and its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <cctype>
#include <cstdlib>
#include <cstring>

#include <lo/lo.h>

// The bytes a host name may not hold: liblo splits the URL at ':' and '/',
// treats brackets as an IPv6 literal and stops reading at white space.
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

// Returns the end of a host name or of a bracketed IPv6 literal, or nullptr.
// liblo reads brackets only after a named transport: from "osc://[::1]:9/x"
// it yields no host at all.
inline const char *
skip_host(const char *s, bool transport)
{
	const char *start;

	if (*s != '[') {
		for (start = s; host_byte(static_cast<unsigned char>(*s)); s++)
			;
		return s == start ? nullptr : s;
	}
	if (!transport)
		return nullptr;
	for (start = ++s;
	     isxdigit(static_cast<unsigned char>(*s)) || *s == ':' || *s == '.';
	     s++)
		;
	return s == start || *s != ']' ? nullptr : s + 1;
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

// Returns where the OSC address starts in a URL of the form
// osc[.TRANSPORT]://HOST:PORT/PATH, or nullptr for anything else. liblo's
// URL functions overread or misread other forms, so none may reach them.
inline const char *
url_path(const char *url)
{
	bool transport;
	const char *s = skip_scheme(url, &transport);

	if (s)
		s = skip_host(s, transport);
	if (s)
		s = skip_port(s);
	if (!s || *s != '/')
		return nullptr;
	// liblo would cut the address at the first blank.
	for (const char *p = s; *p; p++)
		if (static_cast<unsigned char>(*p) <= ' ' || *p == 0x7f)
			return nullptr;
	return s;
}

// Returns a copy of the port as written: the digits just before the path.
// liblo takes the first digits after any ':' instead, which may lie inside
// an IPv6 literal ("[1:2::3]:9000" gives it port 2).
inline char *
url_port(const char *url, const char *path)
{
	const char *start = path;

	while (start > url && isdigit(static_cast<unsigned char>(start[-1])))
		start--;
	return strndup(start, static_cast<size_t>(path - start));
}

// A value whose first byte is an ASCII digit is a float, anything else
// ("-1", ".5", "nan", "") a string. strtod ignores what follows the number.
inline void
append_value(lo_message msg, const char *text)
{
	if (isdigit(static_cast<unsigned char>(text[0])))
		lo_message_add_float(msg,
				     static_cast<float>(strtod(text, nullptr)));
	else
		lo_message_add_string(msg, text);
}

#endif
