// What the program says is wrong with a refused URL, as the manual lists it.
#ifndef REFUSALS_H
#define REFUSALS_H

namespace refusal {
const char scheme[] = "it does not begin with osc:// or osc.TRANSPORT://",
	   transport[] = "the transport is not ASCII letters and digits",
	   no_host[] = "the host is empty",
	   host_bytes[] = "the host holds a blank, a control byte, [ or ]",
	   star[] = "* is no host",
	   quad[] = "a host that ends in a number must be a dotted quad, "
		    "such as 127.0.0.1",
	   plain[] = "only osc.TRANSPORT:// may carry a bracketed IPv6 address",
	   brackets[] = "the brackets hold no IPv6 address",
	   no_port[] = "the port is missing",
	   not_number[] = "the port is not a decimal number",
	   range[] = "the port is out of range (1 to 65535)",
	   no_path[] = "the path is missing",
	   path_byte[] = "the path holds a blank or a control byte";
} // namespace refusal

#endif
