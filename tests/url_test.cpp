// The URL split on its own, where the end-to-end tests cannot reach: which
// host and port it hands liblo, for bracketed IPv6 hosts above all, and
// each rule at the ends of what it allows and just past them.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "osc-send.h"
#include "refusals.h"

namespace {

using namespace refusal;

TEST(Url, SplitsOrSaysWhatIsWrong)
{
	// An accepted URL: its host, port and path. A refused one: no host or
	// port, and why.
	const struct {
		const char *url, *host, *port, *path_or_why;
	} cases[] = {
		{"osc.udp://localhost:19383/path/test", "localhost", "19383",
		 "/path/test"},
		{"osc://127.0.0.1:00080/a:b/c", "127.0.0.1", "00080", "/a:b/c"},
		{"osc.tcp://h:1/", "h", "1", "/"},
		// Bracketed IPv6 addresses, as inet_pton reads them.
		{"osc.udp://[::1]:9000/x", "::1", "9000", "/x"},
		{"osc.udp://[1:2::3]:65535/x", "1:2::3", "65535", "/x"},
		{"osc.udp://[::ffff:127.0.0.1]:9/x]", "::ffff:127.0.0.1", "9",
		 "/x]"},
		{"osc.udp://[0000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 "0000:0000:0000:0000:0000:ffff:255.255.255.255", "9", "/x"},
		{"osc.udp://[00000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 nullptr, nullptr, brackets},
		{"osc.udp://[127.0.0.1]:9/x", nullptr, nullptr, brackets},
		{"osc.udp://[cafe]:9/x", nullptr, nullptr, brackets},
		{"osc.udp://[fe80::1%lo]:9/x", nullptr, nullptr, brackets},
		{"osc.udp://[::1:9/x", nullptr, nullptr, brackets},
		{"osc.udp://[::1]9/x", nullptr, nullptr, no_port},
		{"osc.udp://[::1]:/x", nullptr, nullptr, no_port},
		{"osc://[::1]:9/x", nullptr, nullptr, plain},
		// The transport: ASCII letters and digits.
		{"osc.09AZaz://h:1/x", "h", "1", "/x"},
		{"osc.udp4://h:1/x", "h", "1", "/x"},
		{"osc./://h:1/x", nullptr, nullptr, transport},
		{"osc.:://h:1/x", nullptr, nullptr, transport},
		{"osc.@://h:1/x", nullptr, nullptr, transport},
		{"osc.[://h:1/x", nullptr, nullptr, transport},
		{"osc.`://h:1/x", nullptr, nullptr, transport},
		{"osc.{://h:1/x", nullptr, nullptr, transport},
		{"osc.\xc3\xa9://h:1/x", nullptr, nullptr, transport},
		{"OSC.udp://h:1/x", nullptr, nullptr, scheme},
		// Host bytes: '!' to '~' and 0x80 to 0xff, but for : / [ ].
		{"osc.udp://!~:1/x", "!~", "1", "/x"},
		{"osc.udp://\x80\xff:1/x", "\x80\xff", "1", "/x"},
		{"osc.udp://a b:1/x", nullptr, nullptr, host_bytes},
		{"osc.udp://a\x1f:1/x", nullptr, nullptr, host_bytes},
		{"osc.udp://a\x7f:1/x", nullptr, nullptr, host_bytes},
		{"osc.udp://h:9:9/x", nullptr, nullptr, not_number},
		// glibc reads "*" as no host, and sends to loopback.
		{"osc.udp://*:1/x", nullptr, nullptr, star},
		{"osc.udp://*.example:1/x", "*.example", "1", "/x"},
		// A host that ends in a number is a dotted quad as inet_pton
		// reads it; glibc would read these others as inet_aton does.
		{"osc.udp://0.0.0.0:1/x", "0.0.0.0", "1", "/x"},
		{"osc.udp://255.255.255.255:1/x", "255.255.255.255", "1", "/x"},
		{"osc.udp://256.0.0.1:1/x", nullptr, nullptr, quad},
		{"osc.udp://010.0.0.1:1/x", nullptr, nullptr, quad},
		{"osc.udp://192.168.001.010:1/x", nullptr, nullptr, quad},
		{"osc.udp://1.2.3:1/x", nullptr, nullptr, quad},
		{"osc.udp://1:1/x", nullptr, nullptr, quad},
		{"osc.udp://4294967295:1/x", nullptr, nullptr, quad},
		{"osc.udp://0x7f.1:1/x", nullptr, nullptr, quad},
		{"osc.udp://1.2.3.0x4:1/x", nullptr, nullptr, quad},
		{"osc.udp://1.2.3.0XfF:1/x", nullptr, nullptr, quad},
		{"osc.udp://1.2.3.4.:1/x", nullptr, nullptr, quad},
		{"osc.udp://1.2.3.4.5:1/x", nullptr, nullptr, quad},
		// Names, even with digits in them, are the resolver's.
		{"osc.udp://a1.example:1/x", "a1.example", "1", "/x"},
		{"osc.udp://1.example:1/x", "1.example", "1", "/x"},
		{"osc.udp://example.1a:1/x", "example.1a", "1", "/x"},
		{"osc.udp://example.0xg:1/x", "example.0xg", "1", "/x"},
		{"osc.udp://example.:1/x", "example.", "1", "/x"},
		{"osc.udp://.:1/x", ".", "1", "/x"},
		// The port: 1 to 65535, and no number that wraps to that range.
		{"osc.udp://h:1/x", "h", "1", "/x"},
		{"osc.udp://h:65535/x", "h", "65535", "/x"},
		{"osc.udp://h:0000000000000000000065535/x", "h",
		 "0000000000000000000065535", "/x"},
		{"osc.udp://h:0/x", nullptr, nullptr, range},
		{"osc.udp://h:65536/x", nullptr, nullptr, range},
		{"osc.udp://h:4294967297/x", nullptr, nullptr, range},
		{"osc.udp://h:18446744073709551617/x", nullptr, nullptr, range},
		{"osc.udp://h:18446744073709551696/x", nullptr, nullptr, range},
		// The path: from '!' up, but for 0x7f.
		{"osc.udp://h:1/!~\x80\xff", "h", "1", "/!~\x80\xff"},
		{"osc.udp://h:1/ ", nullptr, nullptr, path_byte},
		{"osc.udp://h:1/\x1f", nullptr, nullptr, path_byte},
		{"osc.udp://h:1/\x7f", nullptr, nullptr, path_byte},
	};
	for (auto &c : cases) {
		SCOPED_TRACE(c.url);
		char *host = nullptr, *port = nullptr;
		const char *why = nullptr;
		const char *path = split_url(c.url, &host, &port, &why);
		auto text = [](const char *s) {
			return std::string(s ? s : "-");
		};
		EXPECT_EQ(text(host), text(c.host));
		EXPECT_EQ(text(port), text(c.port));
		EXPECT_EQ(text(path ? path : why), text(c.path_or_why));
		free(host);
		free(port);
	}
}

} // namespace
