/*
 * lo-floor HOST PORT: the liblo calls that osc-send makes to send what
 * "osc-send osc.udp://HOST:PORT/path/test 1.0 4.2" sends, with the URL
 * already split and the values already typed: the least the design allows.
 */
#include <lo/lo.h>
#include <stdio.h>

int
main(int argc, char *argv[])
{
	if (argc != 3)
		return 2;
	lo_address to = lo_address_new(argv[1], argv[2]);
	lo_message msg = lo_message_new();
	/* osc-send reads back liblo's copies, which liblo does not check. */
	if (!to || !lo_address_get_hostname(to) || !lo_address_get_port(to) ||
	    !msg || lo_message_add_float(msg, 1.0f) != 0 ||
	    lo_message_add_float(msg, 4.2f) != 0 ||
	    lo_send_message(to, "/path/test", msg) < 0 ||
	    lo_address_errno(to) != 0) {
		fputs("lo-floor: the message was not sent\n", stderr);
		return 1;
	}
	lo_message_free(msg);
	lo_address_free(to);
	return 0;
}
