/*
 * min-send HOST PORT: the least a program can do to send what
 * "osc-send osc.udp://HOST:PORT/path/test 1.0 4.2" sends: resolve the host
 * as liblo does (IPv4, UDP), then one sendto of the same 24 bytes.
 */
#include <netdb.h>
#include <stdio.h>
#include <sys/socket.h>

static const char message[24] = "/path/test\0\0,ff\0"
				"\x3f\x80\x00\x00"  /* 1.0f */
				"\x40\x86\x66\x66"; /* 4.2f */

int
main(int argc, char *argv[])
{
	struct addrinfo hints = {0}, *ai;

	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_DGRAM;
	if (argc != 3 || getaddrinfo(argv[1], argv[2], &hints, &ai) != 0) {
		fputs("min-send: cannot resolve the host\n", stderr);
		return 1;
	}
	int fd = socket(ai->ai_family, ai->ai_socktype, 0);
	if (fd < 0 || sendto(fd, message, sizeof message, 0, ai->ai_addr,
			     ai->ai_addrlen) != sizeof message) {
		perror("min-send");
		return 1;
	}
	return 0;
}
