// osc-send: send one Open Sound Control message as one UDP datagram.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <lo/lo.h>

#include "osc-send.h"

// The name the program was run by, for its messages. An empty argument
// vector, or an empty argv[0], still deserves a name.
static const char *
base_name(const char *invocation_path)
{
	if (!invocation_path || !*invocation_path)
		return "osc-send";
	const char *slash = strrchr(invocation_path, '/');
	return slash && slash[1] ? slash + 1 : invocation_path;
}

[[noreturn]] static void
usage(const char *invocation_path)
{
	fprintf(stderr, "\nusage: %s <OSC URL> [<values>]\n\n",
		base_name(invocation_path));
	fputs("example OSC URLs:\n\n"
	      "  osc.udp://localhost:19383/path/test 1.0 4.2\n"
	      "  osc.udp://remote.example.com:10886/3/13/load file\n\n",
	      stderr);
	fputs("numeric arguments will be treated as OSC 'f' floating point "
	      "types.\n\n",
	      stderr);
	exit(1);
}

// Sends msg and returns the exit status: liblo notes a failed send on the
// destination rather than in its return value. The error line goes to
// standard output, where callers already parse it.
static int
send_message(lo_address to, const char *path, lo_message msg)
{
	lo_send_message(to, path, msg);
	if (lo_address_errno(to) == 0)
		return 0;
	printf("liblo error: %s\n", lo_address_errstr(to));
	return 1;
}

int
main(int argc, char *argv[])
{
	const char *name = argc > 0 ? argv[0] : nullptr;

	if (argc < 2)
		usage(name);
	const char *url = argv[1];
	// Port and address are taken from the URL as written: liblo misreads
	// both when the host is a bracketed IPv6 literal.
	const char *path = url_path(url);
	if (!path) {
		fprintf(stderr,
			"%s: invalid OSC URL '%s' (expected "
			"osc.udp://HOST:PORT/PATH)\n",
			base_name(name), url);
		return 1;
	}

	char *host = lo_url_get_hostname(url);
	char *port = url_port(url, path);
	lo_address to = host && port ? lo_address_new(host, port) : nullptr;
	lo_message msg = lo_message_new();
	int status = 1;
	if (to && msg) {
		for (int k = 2; k < argc; k++)
			append_value(msg, argv[k]);
		status = send_message(to, path, msg);
	} else {
		fprintf(stderr, "%s: out of memory\n", base_name(name));
	}

	free(host);
	free(port);
	if (msg)
		lo_message_free(msg);
	if (to)
		lo_address_free(to);
	return status;
}
