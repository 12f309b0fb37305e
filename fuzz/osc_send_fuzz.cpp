// libFuzzer target for the URL split and the value typing. The input is
// the URL, then the values, separated by NUL bytes.
#include <arpa/inet.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <lo/lo.h>

#include "osc-send.h"

// abort() rather than assert(): the check must hold in release builds too.
static void
check(bool holds, const char *what)
{
	if (holds)
		return;
	fprintf(stderr, "check failed: %s\n", what);
	abort();
}

#define CHECK(cond) check((cond), #cond)

// What the program hands liblo for an accepted URL: a host, a port in range
// and a path, all taken from the URL. Where liblo reads the URL correctly,
// it reads the same.
static void
check_accepted(const char *url, const char *path, const char *host,
	       const char *port)
{
	CHECK(path > url && path < url + strlen(url) && *path == '/');
	CHECK(host && *host && port && *port);
	CHECK(strspn(port, "0123456789") == strlen(port));
	const char *digits = port + strspn(port, "0");
	long value = strtol(digits, nullptr, 10);
	CHECK(strlen(digits) <= 5 && value >= 1 && value <= 65535);

	// A host that glibc would read as a number is one that inet_pton
	// reads the same.
	in_addr aton, pton;
	if (inet_aton(host, &aton))
		CHECK(inet_pton(AF_INET, host, &pton) == 1 &&
		      aton.s_addr == pton.s_addr);

	// Only printable ASCII but the blank reaches liblo.
	for (const char *s : {host, port, path})
		for (const char *c = s; *c; c++)
			CHECK(static_cast<unsigned char>(*c) > ' ' &&
			      static_cast<unsigned char>(*c) < 0x7f);

	// liblo reads only a lower-case scheme.
	std::string lower = url;
	for (size_t i = 0; i < 3; i++)
		lower[i] = char(tolower(static_cast<unsigned char>(lower[i])));
	path = lower.c_str() + (path - url);
	url = lower.c_str();
	char *liblo_host = lo_url_get_hostname(url);
	CHECK(liblo_host && strcmp(liblo_host, host) == 0);
	free(liblo_host);
	// liblo misreads port and path after a bracketed IPv6 host.
	const char *literal = strstr(url, "://") + 3;
	if (*literal == '[') {
		in6_addr addr;
		CHECK(inet_pton(AF_INET6, host, &addr) == 1);
	} else {
		char *liblo_port = lo_url_get_port(url);
		char *liblo_path = lo_url_get_path(url);
		CHECK(liblo_port && strcmp(liblo_port, port) == 0);
		CHECK(liblo_path && strcmp(liblo_path, path) == 0);
		CHECK(strstr(url, host) && !strpbrk(host, ":/[]"));
		free(liblo_port);
		free(liblo_path);
	}
}

// A refusal that names a character names one in the URL that breaks the
// rule: not printable ASCII, or the blank.
static void
check_refused(const char *url, const char *why, const url_parts &u)
{
	if (why != refusal::character && why != refusal::not_utf8)
		return;
	CHECK(u.at >= url && u.at < url + strlen(url) && u.part);
	auto c = static_cast<unsigned char>(*u.at);
	CHECK(c <= ' ' || c >= 0x7f);
}

// One argument per value, f exactly when the value starts with a digit.
static void
check_values(const std::vector<std::string> &values)
{
	lo_message msg = lo_message_new();
	for (const std::string &v : values)
		append_value(msg, v.c_str());
	const char *types = lo_message_get_types(msg);
	CHECK(strlen(types) == values.size());
	for (size_t i = 0; i < values.size(); i++)
		CHECK(types[i] ==
		      (values[i][0] >= '0' && values[i][0] <= '9' ? 'f' : 's'));
	size_t size = 0;
	void *wire = lo_message_serialise(msg, "/x", nullptr, &size);
	CHECK(wire && size % 4 == 0);
	free(wire);
	lo_message_free(msg);
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	std::vector<std::string> parts(1);
	for (size_t i = 0; i < size; i++)
		if (data[i] == 0)
			parts.emplace_back();
		else
			parts.back() += char(data[i]);

	const char *url = parts[0].c_str();
	url_parts u;
	// A refused URL is read, which the sanitizers watch, and what its
	// refusal names is held to the rule; an accepted one is held to what
	// liblo makes of it.
	if (const char *why = split_url(url, u)) {
		check_refused(url, why, u);
	} else {
		std::string host(u.host, u.host_end), port(u.port, u.path);
		CHECK(u.authority <= u.host && u.host_end <= u.port);
		check_accepted(url, u.path, host.c_str(), port.c_str());
	}
	parts.erase(parts.begin());
	check_values(parts);
	return 0;
}
