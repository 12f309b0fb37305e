// osc-send: send one Open Sound Control message as one UDP datagram.
#include <cstdio>
#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

#include "osc-send.h"

// The name the program was run by, for its messages; set once in main.
static const char *argv0;

// Writes the bytes from s to end (or to the NUL, where end is null) with
// every byte outside printable ASCII escaped, as C writes it, so that a
// diagnostic that quotes the URL or the program's name stays one line and
// drives no terminal: in the C locale, which the program never leaves, no
// byte from 0x80 up is printable, and in UTF-8 some of them are C1 or bidi
// controls. A backslash is doubled, so the escapes read one way only.
static void
put_escaped(const char *s, const char *end, FILE *f)
{
	for (; end ? s < end : *s; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		if (c == '\\')
			fputs("\\\\", f);
		else if (c == '\n')
			fputs("\\n", f);
		else if (c == '\r')
			fputs("\\r", f);
		else if (c == '\t')
			fputs("\\t", f);
		else if (c < ' ' || c >= 0x7f)
			fprintf(f, "\\%03o", c);
		else
			putc(c, f);
	}
}

[[noreturn]] static void
usage()
{
	// Fully buffered, the text leaves in one write at exit.
	setvbuf(stderr, nullptr, _IOFBF, 0);
	fputs("\nusage: ", stderr);
	put_escaped(argv0, nullptr, stderr);
	fputs(" <OSC URL> [<values>]\n\n", stderr);
	fputs("example OSC URLs:\n\n"
	      "  osc.udp://localhost:19383/path/test 1.0 4.2\n"
	      "  osc.udp://remote.example.com:10886/3/13/load file\n\n",
	      stderr);
	fputs("numeric arguments will be treated as OSC 'f' floating point "
	      "types.\n\n",
	      stderr);
	exit(1);
}

// Writes one diagnostic line on standard error: "NAME: WHAT", then, where
// given, " 'QUOTED'" (the bytes from quoted to end, escaped) and ": WHY".
// Line-buffered, the line leaves in one write where it fits stdio's
// buffer, which glibc sizes by the file: 4,096 bytes for a pipe or a file,
// 1,024 for a terminal. A pipe keeps a write whole, apart from other
// writers', only up to PIPE_BUF (4,096 bytes).
static void
complain(const char *what, const char *quoted = nullptr,
	 const char *end = nullptr, const char *why = nullptr)
{
	setvbuf(stderr, nullptr, _IOLBF, 0);
	put_escaped(argv0, nullptr, stderr);
	fprintf(stderr, ": %s", what);
	if (quoted) {
		fputs(" '", stderr);
		put_escaped(quoted, end, stderr);
		putc('\'', stderr);
	}
	if (why)
		fprintf(stderr, ": %s", why);
	putc('\n', stderr);
}

// Sends msg and returns the exit status. liblo records why a send failed on
// the destination, and that line goes to standard output, where callers
// already parse it; standard error names the destination, as written in
// the URL, for whoever reads the terminal. A failure liblo did not record
// must not pass either.
static int
send_message(lo_address to, const url_parts &u, lo_message msg)
{
	int sent = lo_send_message(to, u.path, msg);
	const char *why = nullptr;
	if (lo_address_errno(to) != 0) {
		why = lo_address_errstr(to);
		printf("liblo error: %s\n", why);
	} else if (sent >= 0) {
		return 0;
	}
	complain("the message was not sent to", u.authority, u.path, why);
	return 1;
}

// Appends the values to msg, and returns false as soon as liblo could not
// add one.
static bool
append_values(lo_message msg, int count, char *values[])
{
	for (int k = 0; k < count; k++)
		if (append_value(msg, values[k]) != 0)
			return false;
	return true;
}

// liblo keeps copies of host and port but does not report a failed copy:
// the send would then fail with a misleading "liblo error: Name or service
// not known" or "Invalid argument". Its copies must read back as given.
static lo_address
new_address(const char *host, const char *port)
{
	if (!host || !port)
		return nullptr;
	lo_address to = lo_address_new(host, port);
	if (!to)
		return nullptr;
	const char *kept_host = lo_address_get_hostname(to);
	const char *kept_port = lo_address_get_port(to);
	if (kept_host && kept_port && strcmp(kept_host, host) == 0 &&
	    strcmp(kept_port, port) == 0)
		return to;
	lo_address_free(to);
	return nullptr;
}

// The name shown is the base name of argv[0]; an empty argument vector,
// or an empty argv[0], still deserves one.
static const char *
base_name(const char *invocation_path)
{
	if (!invocation_path || !*invocation_path)
		return "osc-send";
	const char *slash = strrchr(invocation_path, '/');
	return slash && slash[1] ? slash + 1 : invocation_path;
}

int
main(int argc, char *argv[])
{
	argv0 = base_name(argc > 0 ? argv[0] : nullptr);
	if (argc < 2)
		usage();
	const char *url = argv[1];
	url_parts u;
	if (const char *why = split_url(url, u)) {
		complain("invalid OSC URL", url, nullptr, why);
		return 1;
	}

	char *host = strndup(u.host, size_t(u.host_end - u.host));
	char *port = strndup(u.port, size_t(u.path - u.port));
	lo_address to = new_address(host, port);
	lo_message msg = lo_message_new();
	int status = 1;
	// A message that lacks a value must not go out: all values or none.
	if (to && msg && append_values(msg, argc - 2, argv + 2))
		status = send_message(to, u, msg);
	else
		complain("out of memory");

	free(host);
	free(port);
	if (msg)
		lo_message_free(msg);
	if (to)
		lo_address_free(to);
	return status;
}
