// The URL split and the value typing, shared by the program, its tests and
// its fuzzer.
#ifndef OSC_SEND_H
#define OSC_SEND_H

#include <arpa/inet.h>

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

// The bytes a host may hold: not the ones that delimit the URL's pieces,
// nor white space or control bytes, where the resolver would stop reading.
inline bool
host_byte(unsigned char c)
{
	return c > ' ' && c != 0x7f && c != ':' && c != '/' && c != '[' &&
	       c != ']';
}

// Returns the end of "osc://" or "osc.TRANSPORT://", or nullptr.
inline const char *
skip_scheme(const char *s, bool *transport, const char **why)
{
	*why = "it does not begin with osc:// or osc.TRANSPORT://";
	if (strncmp(s, "osc", 3) != 0)
		return nullptr;
	s += 3;
	*transport = *s == '.';
	if (*transport) {
		const char *name = ++s;
		while (isalnum(static_cast<unsigned char>(*s)))
			s++;
		if (s == name || (*s != ':' && *s != '\0')) {
			*why = "the transport is not ASCII letters and digits";
			return nullptr;
		}
	}
	return strncmp(s, "://", 3) == 0 ? s + 3 : nullptr;
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

// Returns whether the label from s to end is a number: decimal digits, or
// "0x" and hexadecimal digits.
inline bool
number_label(const char *s, const char *end)
{
	bool hex = end - s >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
	for (s += hex ? 2 : 0; s < end; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		if (hex ? !isxdigit(c) : !isdigit(c))
			return false;
	}
	return true;
}

// glibc reads a host that ends in a number as inet_aton does, so "010.0.0.1"
// would go to 8.0.0.1, "127.1" to 127.0.0.1 and "4294967295" to the
// broadcast address. Such a host must be a dotted quad, read as it reads;
// host names ("localhost", "a1.example") are the resolver's.
inline bool
host_reads_as_typed(const char *start, const char *end)
{
	const char *label_end = end;
	if (label_end - start > 1 && label_end[-1] == '.')
		label_end--;
	const char *label = label_end;
	while (label > start && label[-1] != '.')
		label--;
	if (label == label_end || !number_label(label, label_end))
		return true;
	return address_literal(AF_INET, start,
			       static_cast<size_t>(end - start));
}

// Returns why the host from start to end, which ends at the byte end points
// to, cannot be sent to, or nullptr when it can.
inline const char *
refuse_host(const char *start, const char *end)
{
	if (*end != ':' && *end != '/' && *end != '\0')
		return "the host holds a blank, a control byte, [ or ]";
	if (end == start)
		return "the host is empty";
	// glibc reads it as no host at all, and sends to loopback.
	if (end - start == 1 && *start == '*')
		return "* is no host";
	if (!host_reads_as_typed(start, end))
		return "a host that ends in a number must be a dotted quad, "
		       "such as 127.0.0.1";
	return nullptr;
}

// Finds the host at s: a host name, an IPv4 address, or an IPv6 address in
// brackets, which only a named transport may carry. Sets *start and *end
// around it, without the brackets, and returns where the URL goes on, or
// nullptr.
inline const char *
skip_host(const char *s, bool transport, const char **start, const char **end,
	  const char **why)
{
	*start = s;
	if (*s != '[') {
		while (host_byte(static_cast<unsigned char>(*s)))
			s++;
		*end = s;
		*why = refuse_host(*start, *end);
		return *why ? nullptr : s;
	}
	*why = "only osc.TRANSPORT:// may carry a bracketed IPv6 address";
	if (!transport)
		return nullptr;
	*start = ++s;
	*end = strchr(s, ']');
	*why = "the brackets hold no IPv6 address";
	if (!*end || !address_literal(AF_INET6, *start,
				      static_cast<size_t>(*end - *start)))
		return nullptr;
	return *end + 1;
}

// Returns the end of ":PORT" with PORT in 1..65535, or nullptr. The value is
// checked here because the resolver silently wraps larger ones.
inline const char *
skip_port(const char *s, const char **why)
{
	long value = 0;
	const char *start;

	*why = "the port is missing";
	if (*s++ != ':')
		return nullptr;
	for (start = s; isdigit(static_cast<unsigned char>(*s)); s++)
		if (value <= 65535)
			value = value * 10 + (*s - '0');
	if (s == start && (*s == '/' || *s == '\0'))
		return nullptr;
	*why = "the port is not a decimal number";
	if (s == start || (*s != '/' && *s != '\0'))
		return nullptr;
	*why = "the port is out of range (1 to 65535)";
	return value < 1 || value > 65535 ? nullptr : s;
}

// Returns why the path at s cannot be sent, or nullptr when it can.
inline const char *
refuse_path(const char *s)
{
	if (*s != '/')
		return "the path is missing";
	// liblo would cut the address at the first blank.
	for (; *s; s++)
		if (static_cast<unsigned char>(*s) <= ' ' || *s == 0x7f)
			return "the path holds a blank or a control byte";
	return nullptr;
}

// Reads url, of the form osc[.TRANSPORT]://HOST:PORT/PATH, in one pass.
// Returns the path, which is the tail of url, and sets *host and *port to
// new copies of those pieces (nullptr where memory ran out; free both).
// Returns nullptr for a URL of any other form, with both set to nullptr and
// *why saying what is wrong: liblo's own URL functions overread or misread
// those.
inline const char *
split_url(const char *url, char **host, char **port, const char **why)
{
	bool transport;
	const char *host_start = nullptr, *host_end = nullptr;
	const char *port_start = nullptr;
	const char *s = skip_scheme(url, &transport, why);

	*host = *port = nullptr;
	if (s)
		s = skip_host(s, transport, &host_start, &host_end, why);
	if (s) {
		port_start = s + 1;
		s = skip_port(s, why);
	}
	if (!s || (*why = refuse_path(s)))
		return nullptr;
	*host = strndup(host_start, static_cast<size_t>(host_end - host_start));
	*port = strndup(port_start, static_cast<size_t>(s - port_start));
	return s;
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
