// A UDP socket on the loopback address, for the tests.
#ifndef LOOPBACK_H
#define LOOPBACK_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Binds a UDP socket to 127.0.0.1 (AF_INET) or ::1 (AF_INET6) at a port the
// kernel chooses. Returns the socket and sets *port, or returns -1 with
// errno set, where that loopback address does not exist.
inline int
bind_loopback(int family, int *port)
{
	sockaddr_storage a{};
	socklen_t len;
	if (family == AF_INET6) {
		auto *in6 = reinterpret_cast<sockaddr_in6 *>(&a);
		in6->sin6_family = AF_INET6;
		in6->sin6_addr = in6addr_loopback;
		len = sizeof *in6;
	} else {
		auto *in = reinterpret_cast<sockaddr_in *>(&a);
		in->sin_family = AF_INET;
		in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		len = sizeof *in;
	}
	int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	auto *sa = reinterpret_cast<sockaddr *>(&a);
	if (fd < 0 || bind(fd, sa, len) < 0 || getsockname(fd, sa, &len) < 0) {
		if (fd >= 0)
			close(fd);
		return -1;
	}
	// Both structures keep the port at the same place.
	*port = ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
	return fd;
}

#endif
