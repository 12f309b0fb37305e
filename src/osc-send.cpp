// osc-send: send one Open Sound Control message as one UDP datagram.
#include <cstdio>
#include <stdlib.h>
#include <string.h>

#include <lo/lo.h>

#include "osc-send.h"

// The name the program was run by, for its messages; set once in main.
static const char *argv0;

// Writes s up to end (or its NUL) with each byte outside printable ASCII
// escaped as C writes it, so that a diagnostic stays one line and drives no
// terminal (UTF-8 has C1 and bidi controls), and a backslash doubled.
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

// Begins a diagnostic line, "NAME: WHAT 'QUOTED'" (from quoted to end),
// which the caller ends. Line-buffered, it leaves in one write where it
// fits stdio's buffer: 1,024 bytes for a terminal, 4,096 for a pipe.
static void
complain(const char *what, const char *quoted = nullptr,
	 const char *end = nullptr)
{
	setvbuf(stderr, nullptr, _IOLBF, 0);
	put_escaped(argv0, nullptr, stderr);
	fprintf(stderr, ": %s", what);
	if (!quoted)
		return;
	fputs(" '", stderr);
	put_escaped(quoted, end, stderr);
	putc('\'', stderr);
}

// Ends the line of a refused URL with why, naming the part and the
// character where why is about one: "U+2013", or a byte that is no UTF-8.
static void
refused(const char *why, const url_parts &u)
{
	if (why == refusal::not_utf8)
		fprintf(stderr, ": the %s holds the byte \\%03o, %s\n", u.part,
			static_cast<unsigned char>(*u.at), why);
	else if (why == refusal::not_ascii || why == refusal::idn)
		fprintf(stderr, ": the %s holds U+%04X, %s\n", u.part,
			unsigned(code_point(u.at, utf8_length(u.at))), why);
	else
		fprintf(stderr, ": %s\n", why);
}

// Sends msg; returns the exit status. liblo's error line goes to standard
// output, where callers parse it, and a failure it did not record fails too.
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
	complain("the message was not sent to", u.authority, u.path);
	if (why)
		fprintf(stderr, ": %s", why);
	putc('\n', stderr);
	return 1;
}

// liblo does not report a failed copy of host or port, and the send would
// then fail with a misleading error: its copies must read back as given.
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

// The text after the last '/' of argv[0], or argv[0] whole where nothing
// follows it ("./bin/"); a missing or empty argv[0] still gets a name.
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
		complain("invalid OSC URL", url);
		refused(why, u);
		return 1;
	}

	char *host = strndup(u.host, size_t(u.host_end - u.host));
	char *port = strndup(u.port, size_t(u.path - u.port));
	lo_address to = new_address(host, port);
	lo_message msg = lo_message_new();
	// A message that lacks a value must not go out: all values or none.
	bool whole = to && msg;
	for (int k = 2; whole && k < argc; k++)
		whole = append_value(msg, argv[k]) == 0;
	int status = 1;
	if (whole)
		status = send_message(to, u, msg);
	else
		complain("out of memory\n");

	free(host);
	free(port);
	lo_message_free(msg);
	lo_address_free(to);
	return status;
}
