// The URL split on its own, where the end-to-end tests cannot reach: which
// host and port it hands liblo, for bracketed IPv6 hosts above all.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "osc-send.h"

namespace {

TEST(Url, SplitIntoHostPortAndPath)
{
	// A refused URL has an empty path.
	const struct {
		const char *url, *host, *port, *path;
	} cases[] = {
		{"osc.udp://localhost:19383/path/test", "localhost", "19383",
		 "/path/test"},
		{"osc://127.0.0.1:00080/a:b/c", "127.0.0.1", "00080", "/a:b/c"},
		{"osc.tcp://h:1/", "h", "1", "/"},
		{"osc.udp://[::1]:9000/x", "::1", "9000", "/x"},
		{"osc.udp://[1:2::3]:65535/x", "1:2::3", "65535", "/x"},
		{"osc.udp://[::ffff:127.0.0.1]:9/x]", "::ffff:127.0.0.1", "9",
		 "/x]"},
		{"osc.udp://[0000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 "0000:0000:0000:0000:0000:ffff:255.255.255.255", "9", "/x"},
		{"osc.udp://[00000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 "", "", ""},
		{"osc.udp://[127.0.0.1]:9/x", "", "", ""},
		{"osc.udp://[cafe]:9/x", "", "", ""},
		{"osc.udp://[fe80::1%lo]:9/x", "", "", ""},
		{"osc.udp://[::1]9/x", "", "", ""},
		{"osc.udp://[::1]:/x", "", "", ""},
		{"osc.udp://[::1:9/x", "", "", ""},
		{"osc://[::1]:9/x", "", "", ""},
		{"osc.udp://h:9:9/x", "", "", ""},
	};
	for (auto &c : cases) {
		SCOPED_TRACE(c.url);
		char *host = nullptr, *port = nullptr;
		const char *path = split_url(c.url, &host, &port);
		EXPECT_EQ(path ? path : "", std::string(c.path));
		EXPECT_EQ(host ? host : "", std::string(c.host));
		EXPECT_EQ(port ? port : "", std::string(c.port));
		free(host);
		free(port);
	}
}

// Each rule at the ends of what it allows, and just past them: the host as
// split, or null where the URL is refused.
TEST(Url, EachRuleAtItsBoundaries)
{
	const struct {
		const char *url, *host;
	} cases[] = {
		// The transport: ASCII letters and digits.
		{"osc.09AZaz://h:1/x", "h"},
		{"osc.udp4://h:1/x", "h"},
		{"osc./://h:1/x", nullptr},
		{"osc.:://h:1/x", nullptr},
		{"osc.@://h:1/x", nullptr},
		{"osc.[://h:1/x", nullptr},
		{"osc.`://h:1/x", nullptr},
		{"osc.{://h:1/x", nullptr},
		{"osc.\xc3\xa9://h:1/x", nullptr},
		{"OSC.udp://h:1/x", nullptr},
		// Host bytes: '!' to '~' and 0x80 to 0xff, but for : / [ ].
		{"osc.udp://!~:1/x", "!~"},
		{"osc.udp://\x80\xff:1/x", "\x80\xff"},
		{"osc.udp://a b:1/x", nullptr},
		{"osc.udp://a\x1f:1/x", nullptr},
		{"osc.udp://a\x7f:1/x", nullptr},
		// A host that ends in a number is a dotted quad as inet_pton
		// reads it; glibc would read these others as inet_aton does.
		{"osc.udp://0.0.0.0:1/x", "0.0.0.0"},
		{"osc.udp://255.255.255.255:1/x", "255.255.255.255"},
		{"osc.udp://256.0.0.1:1/x", nullptr},
		{"osc.udp://010.0.0.1:1/x", nullptr},
		{"osc.udp://192.168.001.010:1/x", nullptr},
		{"osc.udp://1.2.3:1/x", nullptr},
		{"osc.udp://1:1/x", nullptr},
		{"osc.udp://4294967295:1/x", nullptr},
		{"osc.udp://0x7f.1:1/x", nullptr},
		{"osc.udp://1.2.3.0x4:1/x", nullptr},
		{"osc.udp://1.2.3.0XfF:1/x", nullptr},
		{"osc.udp://1.2.3.4.:1/x", nullptr},
		{"osc.udp://1.2.3.4.5:1/x", nullptr},
		// Names, even with digits in them, are the resolver's.
		{"osc.udp://a1.example:1/x", "a1.example"},
		{"osc.udp://1.example:1/x", "1.example"},
		{"osc.udp://example.1a:1/x", "example.1a"},
		{"osc.udp://example.0xg:1/x", "example.0xg"},
		{"osc.udp://example.:1/x", "example."},
		{"osc.udp://.:1/x", "."},
		// The port: 1 to 65535, and no number that wraps to that range.
		{"osc.udp://h:1/x", "h"},
		{"osc.udp://h:65535/x", "h"},
		{"osc.udp://h:0000000000000000000065535/x", "h"},
		{"osc.udp://h:0/x", nullptr},
		{"osc.udp://h:65536/x", nullptr},
		{"osc.udp://h:4294967297/x", nullptr},
		{"osc.udp://h:18446744073709551617/x", nullptr},
		{"osc.udp://h:18446744073709551696/x", nullptr},
		// The path: from '!' up, but for 0x7f.
		{"osc.udp://h:1/!~\x80\xff", "h"},
		{"osc.udp://h:1/ ", nullptr},
		{"osc.udp://h:1/\x1f", nullptr},
		{"osc.udp://h:1/\x7f", nullptr},
	};
	for (auto &c : cases) {
		SCOPED_TRACE(c.url);
		char *host = nullptr, *port = nullptr;
		const char *path = split_url(c.url, &host, &port);
		EXPECT_EQ(path != nullptr, c.host != nullptr);
		EXPECT_EQ(host ? host : "(refused)",
			  std::string(c.host ? c.host : "(refused)"));
		free(host);
		free(port);
	}
}

} // namespace
