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

} // namespace
