// osc-dump COUNT: receive COUNT datagrams (0: without end) on an ephemeral
// loopback port and print each as an OSC message. The first line of output
// names the port. It gives up, with status 1, when no datagram comes for
// five seconds, so that a script waiting for it always ends.
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "loopback.h"
#include "osc_decode.h"

// Prints the fewest digits that read back as the same float: 4.2 for the
// float nearest 4.2, 1e-40 for the float nearest 1e-40, and never the same
// text for two floats.
static void
print_float(uint32_t bits)
{
	float f;
	static_assert(sizeof f == sizeof bits);
	memcpy(&f, &bits, sizeof f);
	char text[32];
	int digits = 1;
	do
		snprintf(text, sizeof text, "%.*g", digits++, double(f));
	while (strtof(text, nullptr) != f && digits <= 9);
	printf(" %s", text);
}

static void
print(const std::string &d)
{
	OscMessage m;
	if (!decode_osc(d, m)) {
		printf("malformed datagram of %zu bytes\n", d.size());
		return;
	}
	printf("%s %s", m.address.c_str(), m.tags.c_str());
	for (const OscArg &a : m.args)
		if (a.tag == 'f')
			print_float(a.bits);
		else
			printf(" \"%s\"", a.text.c_str());
	printf("\n");
}

static int
fail(const char *what)
{
	fprintf(stderr, "osc-dump: %s: %s\n", what, strerror(errno));
	return 1;
}

int
main(int argc, char *argv[]) // cppcheck-suppress constParameter
{
	long count = argc > 1 ? atol(argv[1]) : 0;
	int port;
	int fd = bind_loopback(AF_INET, &port);
	if (fd < 0)
		return fail("cannot listen on 127.0.0.1");
	printf("listening on 127.0.0.1:%d\n", port);
	fflush(stdout);
	for (long n = 0; count == 0 || n < count; n++) {
		pollfd p{fd, POLLIN, 0};
		int ready = poll(&p, 1, 5000);
		if (ready < 0)
			return fail("poll");
		if (ready == 0) {
			fprintf(stderr,
				"osc-dump: no datagram within 5 seconds "
				"on 127.0.0.1:%d\n",
				port);
			return 1;
		}
		std::string d(65536, '\0');
		ssize_t got = recv(fd, d.data(), d.size(), 0);
		if (got < 0)
			return fail("recv");
		d.resize(size_t(got));
		print(d);
		fflush(stdout);
	}
	return 0;
}
