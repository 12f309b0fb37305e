// osc-dump COUNT: receive COUNT datagrams (0: without end) on an ephemeral
// loopback port and print each as an OSC message. The first line of output
// names the port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "osc_decode.h"

static void
print(const std::string &d)
{
	OscMessage m;
	if (!decode_osc(d, m)) {
		printf("malformed datagram of %zu bytes\n", d.size());
		return;
	}
	printf("%s %s", m.address.c_str(), m.tags.c_str());
	for (const OscArg &a : m.args) {
		float f;
		static_assert(sizeof f == sizeof a.bits);
		memcpy(&f, &a.bits, sizeof f);
		if (a.tag == 'f')
			printf(" %g", double(f));
		else
			printf(" \"%s\"", a.text.c_str());
	}
	printf("\n");
}

int
main(int argc, char *argv[])
{
	long count = argc > 1 ? atol(argv[1]) : 0;
	int fd = socket(AF_INET, SOCK_DGRAM, 0);
	sockaddr_in a{};
	socklen_t len = sizeof a;
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), len) < 0 ||
	    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) < 0) {
		perror("osc-dump");
		return 1;
	}
	printf("listening on 127.0.0.1:%d\n", ntohs(a.sin_port));
	fflush(stdout);
	for (long n = 0; count == 0 || n < count; n++) {
		std::string d(65536, '\0');
		ssize_t got = recv(fd, d.data(), d.size(), 0);
		if (got < 0) {
			perror("osc-dump");
			return 1;
		}
		d.resize(size_t(got));
		print(d);
		fflush(stdout);
	}
	return 0;
}
