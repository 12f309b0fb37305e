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
	leading[] = "it begins with a blank, a control or an invisible "
		    "character",
	quoted[] = "it begins with a quotation mark",
	scheme[] = "it does not begin with osc:// or osc.TRANSPORT://",
	scheme_ascii[] = "the scheme holds a character that is not ASCII",
	slashes[] = "the scheme is not followed by ://",
	transport[] = "the transport is not ASCII letters and digits",
	twice[] = "the scheme is written twice",
	socket_file[] = "it names a socket file, but the message goes by UDP "
			"to a host and port",
	not_utf8[] = "it holds a byte that is not UTF-8",
	user[] = "an OSC URL has no user part (user@)",
	unbracketed[] = "an IPv6 address must be in brackets, such as [::1]",
	no_host[] = "the host is empty",
	host_bytes[] = "the host holds a blank, a control or an invisible "
		       "character",
	host_ligature[] = "the host holds a ligature (U+FB00 to U+FB06)",
	host_brackets[] = "the host holds a [ or ] that encloses no IPv6 "
			  "address",
	star[] = "* is no host",
	quad[] = "a host that ends in a number must be a dotted quad",
	octal[] = "a number in the host has a leading zero, which the "
		  "resolver reads as octal",
	above_255[] = "a number in the dotted quad is above 255",
	plain[] = "only osc.TRANSPORT:// may carry a bracketed IPv6 address",
	unclosed[] = "the [ of the IPv6 address has no ]",
	brackets[] = "the brackets hold no IPv6 address",
	zone[] = "an IPv6 address with a zone (%) cannot be sent to",
	no_port[] = "the port is missing",
	colon[] = "the : before the port is a colon from outside ASCII, such "
		  "as U+FF1A",
	port_ascii[] = "the port holds a character that is not ASCII",
	port_bytes[] = "the port holds a blank, a control or an invisible "
		       "character",
	not_number[] = "the port is not a decimal number",
	range[] = "the port is out of range (1 to 65535)",
	after_port[] = "what follows the port is not /PATH",
	no_path[] = "the path is missing",
	path_bytes[] = "the path holds a blank, a control or an invisible "
		       "character",
	path_ligature[] = "the path holds a ligature (U+FB00 to U+FB06)";
} // namespace refusal

// A URL's letters and digits are ASCII's, whatever the locale; and these,
// unlike <ctype.h>'s, are no calls into libc that the loader must bind.
// Setting 0x20 makes an ASCII capital small and leaves a small one.
inline bool
ascii_digit(unsigned char c)
{
	return c >= '0' && c <= '9';
}

inline bool
ascii_alnum(unsigned char c)
{
	unsigned char small = c | 0x20;
	return ascii_digit(c) || (small >= 'a' && small <= 'z');
}

inline bool
ascii_xdigit(unsigned char c)
{
	unsigned char small = c | 0x20;
	return ascii_digit(c) || (small >= 'a' && small <= 'f');
}

// Whether s begins with the ASCII letters of word, which is in small
// letters, in any case.
inline bool
ascii_word(const char *s, const char *word)
{
	for (; *word; s++, word++)
		if ((*s | 0x20) != *word)
			return false;
	return true;
}

// The first c from s up to end, or nullptr: each part of a URL is searched
// within its own bounds.
inline const char *
find(const char *s, const char *end, char c)
{
	for (; s < end; s++)
		if (*s == c)
			return s;
	return nullptr;
}

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

// Code points from first to last.
struct code_range {
	char32_t first, last;
};

// Whether c is in one of the n ranges at r.
inline bool
in_ranges(char32_t c, const code_range *r, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if (c >= r[i].first && c <= r[i].last)
			return true;
	return false;
}

// Whether c is a blank, a control or an invisible character, as Unicode
// 15.1 names them: White_Space, Cc or Default_Ignorable_Code_Point, but
// for the selectors that pick a character's form, as an accent combines
// with it: the combining grapheme joiner, the variation selectors (an
// emoji's U+FE0F) and Mongolian's. A test holds the table to Unicode's
// files. The joiners U+200C and U+200D are in the set, but inside emoji and
// some scripts they change what is seen: url_char lets them pass there.
inline bool
invisible(char32_t c)
{
	static constexpr code_range ranges[] = {
		{0x0, 0x20},        {0x7f, 0xa0},       {0xad, 0xad},
		{0x61c, 0x61c},     {0x115f, 0x1160},   {0x1680, 0x1680},
		{0x17b4, 0x17b5},   {0x180e, 0x180e},   {0x2000, 0x200f},
		{0x2028, 0x202f},   {0x205f, 0x206f},   {0x3000, 0x3000},
		{0x3164, 0x3164},   {0xfeff, 0xfeff},   {0xffa0, 0xffa0},
		{0xfff0, 0xfff8},   {0x1bca0, 0x1bca3}, {0x1d173, 0x1d17a},
		{0xe0000, 0xe00ff}, {0xe01f0, 0xe0fff},
	};
	if (c > 0x20 && c < 0x7f)
		return false;
	return in_ranges(c, ranges, sizeof ranges / sizeof *ranges);
}

// Whether c is one of Unicode's quotation marks (Quotation_Mark), which a
// page or a chat may put around a URL.
inline bool
quotation_mark(char32_t c)
{
	static constexpr code_range ranges[] = {
		{0x22, 0x22},     {0x27, 0x27},     {0xab, 0xab},
		{0xbb, 0xbb},     {0x2018, 0x201f}, {0x2039, 0x203a},
		{0x2e42, 0x2e42}, {0x300c, 0x300f}, {0x301d, 0x301f},
		{0xfe41, 0xfe44}, {0xff02, 0xff02}, {0xff07, 0xff07},
		{0xff62, 0xff63},
	};
	if (c < 0xab)
		return c == 0x22 || c == 0x27;
	return in_ranges(c, ranges, sizeof ranges / sizeof *ranges);
}

// Whether c is one of the Latin ligatures U+FB00 to U+FB06 (ff, fi, fl,
// ffi, ffl, long st, st) that text copied from a PDF holds: "/\uFB01lter"
// matches no receiver's "/filter", and looks the same.
inline bool
ligature(char32_t c)
{
	return c >= 0xfb00 && c <= 0xfb06;
}

// Returns the length of the character at s when it may stand in a host or
// a path, or 0: a byte that is not UTF-8, or an invisible character (but
// a joiner between two characters outside ASCII). start is where the
// piece begins, so that the character before s can be looked at.
inline size_t
url_char(const char *start, const char *s)
{
	size_t n = utf8_length(s);
	if (!n)
		return 0;
	char32_t c = code_point(s, n);
	bool joiner = c == 0x200c || c == 0x200d;
	if (joiner && s > start && (s[-1] & 0x80) && (s[n] & 0x80))
		return n;
	return invisible(c) || ligature(c) ? 0 : n;
}

// Why url_char refused the character at s in a host or a path: blank is
// that part's reason for an invisible character, ligature_why for a
// ligature.
inline const char *
char_refusal(const char *s, const char *blank, const char *ligature_why)
{
	size_t n = utf8_length(s);
	if (!n)
		return refusal::not_utf8;
	return ligature(code_point(s, n)) ? ligature_why : blank;
}

// Whether s holds a colon from outside ASCII that stands where the one
// before a port should, followed by the port's digits and the path, as in
// "localhost\uFF1A9000/x": what a keyboard set for another script types.
inline bool
port_colon(const char *s)
{
	static constexpr char32_t colons[] = {0x2d0,  0x2f8,  0x589,
					      0x5c3,  0x2236, 0xa789,
					      0xfe13, 0xfe55, 0xff1a};
	if (!(*s & 0x80))
		return false;
	size_t n = utf8_length(s);
	if (n < 2)
		return false;
	char32_t c = code_point(s, n);
	bool colon = false;
	for (char32_t k : colons)
		colon = colon || c == k;
	const char *digits = s += n;
	while (ascii_digit(static_cast<unsigned char>(*s)))
		s++;
	return colon && s > digits && (*s == '/' || *s == '\0');
}

// What a URL is read into: each step reads at `at` and moves it on. host
// to host_end is the host without brackets; authority to path is the
// host and port as written, which the diagnostics quote.
struct url_parts {
	const char *at;
	bool transport; // written as osc.TRANSPORT:// rather than osc://
	const char *authority, *host, *host_end, *port, *path;
};

// Reads "osc://" or "osc.TRANSPORT://", the scheme in any case. "osc" or
// "osc.udp" followed by anything but "://" (strchr finds the NUL too) has
// its slashes wrong; "oscar://" is another scheme.
inline const char *
read_scheme(url_parts &u)
{
	const char *p = u.at;
	if (*p == '-')
		return refusal::option;
	size_t n = utf8_length(p);
	if (!n)
		return refusal::not_utf8;
	// What a page or a chat pastes before the URL.
	if (*p && invisible(code_point(p, n)))
		return refusal::leading;
	if (quotation_mark(code_point(p, n)))
		return refusal::quoted;
	if (n > 1)
		return refusal::scheme_ascii;
	bool osc = ascii_word(p, "osc");
	if (osc && (p[3] & 0x80))
		return refusal::scheme_ascii;
	if (!osc || !strchr(".:/", p[3]))
		return refusal::scheme;
	p += 3;
	u.transport = *p == '.';
	if (u.transport) {
		const char *name = ++p;
		while (ascii_alnum(static_cast<unsigned char>(*p)))
			p++;
		if (*p & 0x80)
			return refusal::scheme_ascii;
		if (p == name || !strchr(":/", *p))
			return refusal::transport;
		if (p - name == 4 && ascii_word(name, "unix"))
			return refusal::socket_file;
	}
	if (p[0] != ':' || p[1] != '/' || p[2] != '/')
		return refusal::slashes;
	u.at = p + 3;
	// A URL pasted after its own scheme, "osc.udp://osc.udp://h:1/x": the
	// scheme is read once more, on what follows it.
	url_parts again{u.at,    false,   nullptr, nullptr,
			nullptr, nullptr, nullptr};
	if ((*u.at | 0x20) == 'o') {
		const char *why = read_scheme(again);
		if (!why || why == refusal::twice)
			return refusal::twice;
	}
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

// Whether the host from start to end "ends in a number", as the WHATWG URL
// standard puts it: its last label, but for one trailing dot, is decimal
// digits or "0x" and hexadecimal digits. glibc reads some such hosts as
// numbers of its own: "010.0.0.1" as 8.0.0.1, "127.1" as 127.0.0.1 and
// "4294967295" as the broadcast address; the rule refuses them all, and
// the names that merely look like them, such as "desk.1".
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
		if (hex ? !ascii_xdigit(c) : !ascii_digit(c))
			return false;
	}
	return true;
}

// Why the host from start to end, which ends in a number, is no dotted quad
// as inet_pton reads it: four decimal numbers, one with a leading zero
// ("010.0.0.1", which the resolver reads as 8.0.0.1) or one above 255; or
// any other form ("127.1", "0x7f000001", "desk.1").
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

// Whether the authority at s, up to the path, is an IPv6 address without
// its brackets, whole ("::1", "fe80::1:9000") or followed by a port
// ("::ffff:1.2.3.4:9000").
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

// Reads an IPv6 address in brackets at u.at, which is at the '[', up to
// end, where the authority ends. liblo, which reads these URLs in the
// receivers that print and take them, finds brackets only after a
// TRANSPORT: it reads no host at all in "osc://[::1]:9/x", and a URL
// should mean the same to both.
inline const char *
read_bracketed(url_parts &u, const char *end)
{
	if (!u.transport)
		return refusal::plain;
	u.host = u.at + 1;
	u.host_end = find(u.host, end, ']');
	if (!u.host_end)
		return refusal::unclosed;
	size_t len = size_t(u.host_end - u.host);
	const char *zone = find(u.host, u.host_end, '%');
	if (zone && address_literal(AF_INET6, u.host, size_t(zone - u.host)))
		return refusal::zone;
	if (!address_literal(AF_INET6, u.host, len))
		return refusal::brackets;
	u.at = u.host_end + 1;
	return nullptr;
}

// Reads the host: a host name, an IPv4 address, or an IPv6 address in
// brackets. The authority, host and port, ends at the first '/'.
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
	u.host = u.at;
	const char *s = u.at;
	for (size_t n; *s && !strchr(":/[]", *s) && !port_colon(s) &&
		       (n = url_char(u.host, s));)
		s += n;
	u.host_end = u.at = s;
	if (*s == ':' && bare_ipv6(u.host))
		return refusal::unbracketed;
	if (*s == '[' || *s == ']')
		return refusal::host_brackets;
	if (*s != ':' && *s != '/' && *s != '\0' && !port_colon(s))
		return char_refusal(s, refusal::host_bytes,
				    refusal::host_ligature);
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

// Reads ":PORT", with PORT in 1..65535. The value is checked here because
// the resolver silently wraps larger ones. A character in or right after
// the digits is judged before the range, by the rule of the host and the
// path: "0x2328" is no decimal number, whatever "0" is.
inline const char *
read_port(url_parts &u)
{
	const char *p = u.at;
	long value = 0;

	if (*p != ':')
		return port_colon(p) ? refusal::colon : refusal::no_port;
	u.port = ++p;
	for (; ascii_digit(static_cast<unsigned char>(*p)); p++)
		if (value <= 65535)
			value = value * 10 + (*p - '0');
	if (*p != '/' && *p != '\0') {
		size_t n = utf8_length(p);
		if (!n)
			return refusal::not_utf8;
		if (invisible(code_point(p, n)))
			return refusal::port_bytes;
		if (p == u.port || ascii_alnum(static_cast<unsigned char>(*p)))
			return n > 1 ? refusal::port_ascii
				     : refusal::not_number;
		return refusal::after_port;
	}
	if (p == u.port)
		return refusal::no_port;
	if (value < 1 || value > 65535)
		return refusal::range;
	u.at = p;
	return nullptr;
}

// Reads the path, the rest of the URL. A blank, a control, an invisible
// character or a ligature would not match the receiver's address, or would
// drive the terminal of whoever reads its log. The '#' and ',' that OSC 1.0
// forbids in an address, and any other visible character outside ASCII, go
// as typed: receivers use them.
inline const char *
read_path(url_parts &u)
{
	const char *s = u.at;
	if (*s != '/')
		return refusal::no_path;
	u.path = s;
	for (size_t n; *s && (n = url_char(u.path, s));)
		s += n;
	if (!*s)
		return nullptr;
	return char_refusal(s, refusal::path_bytes, refusal::path_ligature);
}

// Reads url, of the form osc[.TRANSPORT]://HOST:PORT/PATH, into u, part by
// part: liblo's own URL functions overread or misread some URLs. Returns
// what is wrong, or nullptr when u holds the pieces, each in url.
inline const char *
split_url(const char *url, url_parts &u)
{
	u = url_parts{url, false, nullptr, nullptr, nullptr, nullptr, nullptr};
	const char *why = read_scheme(u);
	if (!why)
		why = read_host(u);
	if (!why)
		why = read_port(u);
	if (!why)
		why = read_path(u);
	return why;
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
