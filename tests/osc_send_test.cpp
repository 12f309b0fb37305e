// End-to-end tests: the built program against a UDP socket on loopback.
// They send only to 127.0.0.1 and ::1 and ask no resolver: a failed name
// lookup comes from the fault shim. Sending to a name is the installed
// test's, debian/tests/send, where /etc/hosts answers for it.
#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "osc-send.h"

namespace {

// A strict decoder for the OSC messages the program may send: an address,
// a type-tag string and f or s arguments, written from the OSC 1.0 rules
// rather than from liblo, so that the two can disagree.
struct OscArg {
	char tag;
	uint32_t bits;    // an f argument's IEEE 754 pattern
	std::string text; // an s argument's bytes
};

struct OscMessage {
	std::string address, tags;
	std::vector<OscArg> args;
};

// An OSC string: bytes, then 1 to 4 NULs up to a multiple of four.
bool
take_string(const std::string &d, size_t &at, std::string &out)
{
	size_t end = d.find('\0', at);
	if (end == std::string::npos)
		return false;
	size_t next = (end + 4) & ~size_t(3);
	if (next > d.size() || d.find_first_not_of('\0', end) < next)
		return false;
	out = d.substr(at, end - at);
	at = next;
	return true;
}

bool
decode_osc(const std::string &d, OscMessage &m)
{
	size_t at = 0;
	if (!take_string(d, at, m.address) || !take_string(d, at, m.tags) ||
	    m.tags.empty() || m.tags[0] != ',')
		return false;
	for (char tag : m.tags.substr(1)) {
		OscArg a{tag, 0, {}};
		if (tag == 'f') {
			if (at + 4 > d.size())
				return false;
			for (int i = 0; i < 4; i++)
				a.bits = a.bits << 8 | uint8_t(d[at++]);
		} else if (tag != 's' || !take_string(d, at, a.text)) {
			return false;
		}
		m.args.push_back(a);
	}
	return at == d.size();
}

struct Result {
	int status;
	std::string out, err;
	int err_writes; // how many writes standard error took
};

// OSC_SEND_WRAPPER (say "valgrind -q --error-exitcode=99") runs the program
// under a checker; argv[0] is then the checker's to choose.
std::vector<std::string>
wrapper()
{
	const char *w = getenv("OSC_SEND_WRAPPER");
	std::istringstream in(w ? w : "");
	std::vector<std::string> words;
	for (std::string word; in >> word;)
		words.push_back(word);
	return words;
}

// Reads fd to its end and closes it; on a SOCK_SEQPACKET socket each read
// returns what one write wrote, and *reads counts them.
std::string
slurp(int fd, int *reads = nullptr)
{
	std::string s;
	char buf[65536];
	lseek(fd, 0, SEEK_SET);
	for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
		s.append(buf, size_t(n));
		if (reads)
			++*reads;
	}
	close(fd);
	return s;
}

// Runs the program with argv[0] = name, and env (NAME=VALUE) added to its
// environment; a null name runs it with an empty argument vector.
Result
run(const char *name, const std::vector<std::string> &args,
    const std::vector<std::string> &env = {})
{
	std::vector<std::string> words = wrapper();
	words.push_back(OSC_SEND_BIN);
	std::vector<char *> argv;
	for (const auto &w : words)
		argv.push_back(const_cast<char *>(w.c_str()));
	if (words.size() == 1)
		argv[0] = const_cast<char *>(name);
	for (auto &a : args)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	if (!name && words.size() == 1)
		argv.assign(1, nullptr);

	int out = memfd_create("out", MFD_CLOEXEC);
	int err[2];
	socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, err);
	pid_t pid = fork();
	if (pid == 0) {
		dup2(out, 1);
		dup2(err[1], 2);
		for (auto &e : env)
			putenv(const_cast<char *>(e.c_str()));
		execvp(words[0].c_str(), argv.data());
		_exit(127);
	}
	close(err[1]);
	int ws = 0;
	waitpid(pid, &ws, 0);
	Result r{WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws),
		 slurp(out), "", 0};
	r.err = slurp(err[0], &r.err_writes);
	return r;
}

// Whether the fault shim can run here: it replaces malloc, which the
// sanitizer's runtime owns in a sanitized build.
#ifdef __SANITIZE_ADDRESS__
constexpr bool shim_works = false;
#else
constexpr bool shim_works = true;
#endif

// The fault shim's environment, with the faults given (FAULT_...=VALUE).
std::vector<std::string>
with_faults(std::vector<std::string> env)
{
	env.push_back(std::string("LD_PRELOAD=") + FAULT_SO);
	return env;
}

struct Listener {
	int fd;
	std::string port;

	// A UDP socket on 127.0.0.1 or ::1 at a port the kernel chooses; fd is
	// -1, with errno set, where that loopback address does not exist.
	explicit Listener(int family = AF_INET)
	{
		sockaddr_storage a{};
		auto *in = reinterpret_cast<sockaddr_in *>(&a);
		auto *in6 = reinterpret_cast<sockaddr_in6 *>(&a);
		a.ss_family = sa_family_t(family);
		if (family == AF_INET6)
			in6->sin6_addr = in6addr_loopback;
		else
			in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		socklen_t len = family == AF_INET6 ? sizeof *in6 : sizeof *in;
		auto *sa = reinterpret_cast<sockaddr *>(&a);
		fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
		if (fd >= 0 &&
		    (bind(fd, sa, len) < 0 || getsockname(fd, sa, &len) < 0)) {
			close(fd);
			fd = -1;
		}
		// Both structures keep the port at the same place.
		port = std::to_string(ntohs(in->sin_port));
		if (family == AF_INET) {
			EXPECT_GE(fd, 0) << "cannot listen on 127.0.0.1";
		}
	}
	~Listener()
	{
		if (fd >= 0)
			close(fd);
	}

	// The program has exited by the time this is called, so whatever it
	// sent is already queued; the wait only absorbs scheduling noise.
	bool receive(std::string &d, int wait_ms = 1000)
	{
		pollfd p{fd, POLLIN, 0};
		if (poll(&p, 1, wait_ms) != 1)
			return false;
		d.resize(70000);
		ssize_t n = recv(fd, d.data(), d.size(), 0);
		d.resize(n < 0 ? 0 : size_t(n));
		return n >= 0;
	}

	bool quiet()
	{
		std::string d;
		return !receive(d, 100);
	}

	OscMessage message()
	{
		std::string d;
		OscMessage m;
		EXPECT_TRUE(receive(d)) << "no datagram";
		EXPECT_TRUE(decode_osc(d, m)) << "malformed datagram";
		EXPECT_TRUE(quiet()) << "more than one datagram";
		return m;
	}
};

const char usage_text[] =
	"\n"
	"usage: osc-send <OSC URL> [<values>]\n"
	"\n"
	"example OSC URLs:\n"
	"\n"
	"  osc.udp://localhost:19383/path/test 1.0 4.2\n"
	"  osc.udp://remote.example.com:10886/3/13/load file\n"
	"\n"
	"numeric arguments will be treated as OSC 'f' floating point types.\n"
	"\n";

TEST(Usage, NoUrlPrintsUsageAndFails)
{
	Result r = run("osc-send", {});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, usage_text);
}

// The name in the usage line and at the start of every diagnostic: the
// base name, escaped as the URL is, so that it drives no terminal either.
TEST(Usage, BaseNameOfInvocationPath)
{
	if (!wrapper().empty())
		GTEST_SKIP() << "argv[0] belongs to the wrapper";
	const struct {
		const char *argv0, *shown;
	} cases[] = {{"/opt/tools/sender", "sender"},
		     {"sender", "sender"},
		     {"./bin/", "./bin/"},
		     {"/", "/"},
		     {"", "osc-send"},
		     {nullptr, "osc-send"},
		     {"\033]0;T\007", "\\033]0;T\\007"},
		     {"\2330;T\234\302\2350;T\302\234",
		      "\\2330;T\\234\\302\\2350;T\\302\\234"},
		     {"a\nosc-send: sent", "a\\nosc-send: sent"},
		     {"\342\200\256\342\201\246\342\200\213",
		      "\\342\\200\\256\\342\\201\\246\\342\\200\\213"}};
	for (auto &c : cases) {
		SCOPED_TRACE(c.shown);
		std::string text = usage_text;
		text.replace(text.find("osc-send"), 8, c.shown);
		Result r = run(c.argv0, {});
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.err, text);
		r = run(c.argv0 ? c.argv0 : "", {"-h"});
		EXPECT_EQ(r.err.rfind(std::string(c.shown) +
					      ": invalid OSC URL '-h': ",
				      0),
			  0u)
			<< r.err;
		EXPECT_EQ(r.err_writes, 1);
	}
}

TEST(Values, TypedByFirstByteInOrder)
{
	const struct {
		const char *value;
		char tag;
		uint32_t bits;
	} cases[] = {
		{"1.0", 'f', 0x3f800000},
		// The digits' class at both ends, and its neighbours.
		{"9", 'f', 0x41100000},
		{"/5", 's', 0},
		{":5", 's', 0},
		{"4.2", 'f', 0x40866666},
		{"0", 'f', 0},
		{"007", 'f', 0x40e00000},
		{"2e1", 'f', 0x41a00000},
		{"0x10", 'f', 0x41800000},
		{"3abc", 'f', 0x40400000},
		{"2,5", 'f', 0x40000000},
		{"0.1", 'f', 0x3dcccccd},
		// Rounded twice, through double, this is a tie that goes to
		// even; strtof alone would round it up to 0x3f800001.
		{"1.0000000596046448", 'f', 0x3f800000},
		{"1e39", 'f', 0x7f800000},
		{"3.4028235e38", 'f', 0x7f7fffff},
		{"1e-40", 'f', 0x000116c2},
		{"1e-50", 'f', 0},
		{"-1", 's', 0},
		{"+2", 's', 0},
		{".5", 's', 0},
		{" 5", 's', 0},
		{"nan", 's', 0},
		{"file", 's', 0},
		{"", 's', 0},
		{"-h", 's', 0},
		{"\xd9\xa3", 's', 0}, // ARABIC-INDIC DIGIT THREE is no digit
		{"a b\\n\"c\"", 's', 0}};
	Listener l;
	std::string url = "osc.udp://127.0.0.1:" + l.port + "/path/test";
	Result r = run("osc-send", {url});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(l.message().tags, ",");

	std::vector<std::string> args{url};
	for (auto &c : cases)
		args.push_back(c.value);
	r = run("osc-send", args);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out + r.err, "");
	OscMessage m = l.message();
	ASSERT_EQ(m.args.size(), std::size(cases));
	for (size_t i = 0; i < m.args.size(); i++) {
		SCOPED_TRACE(cases[i].value);
		EXPECT_EQ(m.args[i].tag, cases[i].tag);
		if (cases[i].tag == 'f')
			EXPECT_EQ(m.args[i].bits, cases[i].bits);
		else
			EXPECT_EQ(m.args[i].text, cases[i].value);
	}
}

// A liblo built with IPv6 sends to ::1; Debian's, built without, refuses
// with a liblo error. Either is right; sending elsewhere or nothing with
// status 0 is not.
TEST(Destination, Ipv6LoopbackSendsOrFailsInLiblo)
{
	Listener l6(AF_INET6);
	if (l6.fd < 0)
		GTEST_SKIP() << "no ::1 here: " << strerror(errno);
	Listener l;
	Result r = run("osc-send", {"osc.udp://[::1]:" + l6.port + "/x", "1"});
	if (r.status == 0) {
		EXPECT_EQ(r.out + r.err, "");
		OscMessage m = l6.message();
		EXPECT_EQ(m.address + m.tags, "/x,f");
	} else {
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.out.rfind("liblo error: ", 0), 0u) << r.out;
		EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
		EXPECT_EQ(r.err,
			  "osc-send: the message was not sent to '[::1]:" +
				  l6.port + "': " + r.out.substr(13));
		EXPECT_TRUE(l6.quiet());
	}
	EXPECT_TRUE(l.quiet());
}

TEST(Failures, LibloErrorLineAndStatus)
{
	Listener l;
	const std::string url = "osc.udp://127.0.0.1:" + l.port + "/x";
	const std::string not_sent =
		"osc-send: the message was not sent to '127.0.0.1:" + l.port +
		"'";
	const std::string no_name =
		"FAULT_RESOLVE=" + std::to_string(EAI_NONAME);
	const std::string again = "FAULT_RESOLVE=" + std::to_string(EAI_AGAIN);
	const std::string refused = "FAULT_SEND=" + std::to_string(EPERM);
	const struct {
		std::vector<std::string> args, faults;
		std::string out;
	} cases[] = {
		{{url, "1"}, {no_name}, gai_strerror(EAI_NONAME)},
		{{url, "1"}, {again}, gai_strerror(EAI_AGAIN)},
		{{url, "1"}, {refused}, strerror(EPERM)},
		{{url, std::string(70000, 'a')},
		 {},
		 "Attempted to send message in excess of maximum message size"},
		// A send that fails without liblo recording why.
		{{url, "1"}, {"FAULT_SEND=0"}, ""},
	};
	for (auto &c : cases) {
		if (!shim_works && !c.faults.empty())
			continue;
		SCOPED_TRACE(c.faults.empty() ? "no fault" : c.faults[0]);
		Result r = run("osc-send", c.args,
			       c.faults.empty() ? c.faults
						: with_faults(c.faults));
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.out,
			  c.out.empty() ? "" : "liblo error: " + c.out + "\n");
		EXPECT_EQ(r.err, not_sent +
					 (c.out.empty() ? "" : ": " + c.out) +
					 "\n");
		EXPECT_EQ(r.err_writes, 1);
	}
	EXPECT_TRUE(l.quiet());
}

// The manual's REASON list: the lines after "REASON is one of:" and its
// .Bl, up to the .El, but for the .It requests.
std::set<std::string>
manual_reasons()
{
	std::ifstream page(MANUAL);
	std::string line;
	while (std::getline(page, line) && line != "REASON is one of:")
		;
	std::getline(page, line);
	std::set<std::string> reasons;
	while (std::getline(page, line) && line != ".El")
		if (line != ".It")
			reasons.insert(line);
	return reasons;
}

// Each URL is split in-process: an accepted one into "HOST PORT PATH", a
// refused one with its reason. A row marked run also goes through the
// program: a refused URL sends nothing and gives one line, in one write,
// that quotes it (as shown, where escaped) and says why; an accepted one
// sends one datagram to its path. PORT stands for the listener's port.
// The reasons the rows give must be the manual's list.
TEST(Url, SplitsOrSaysWhatIsWrong)
{
	using namespace refusal;
	const bool R = true;
	const struct {
		std::string url, expect;
		bool run = false;
		std::string shown = "";
	} cases[] = {
		// The scheme, osc in any case, and what is not one.
		{"osc.udp://localhost:19383/path/test",
		 "localhost 19383 /path/test"},
		{"OSC.UDP://127.0.0.1:PORT/x", "127.0.0.1 PORT /x", R},
		{"", scheme, R},
		{"osc", slashes, R},
		{"-h", option, R},
		{"http://127.0.0.1:PORT/x", scheme, R},
		{"oscar://h:1/x", scheme},
		{"osc.udp:/127.0.0.1:PORT/x", slashes, R},
		{"osc.udp//localhost:9000/x", slashes, R},
		{"osc.udp://osc.udp://127.0.0.1:PORT/x", twice, R},
		{"osc.udp://OSC://h:1/x", twice},
		{"osc.udp://osc.udp://osc://h:1/x", twice},
		{"osc://oscar:1/x", "oscar 1 /x"},
		{"osc://osc.example:1/x", "osc.example 1 /x"},
		// What a page or a chat pastes around a URL: blanks, invisible
		// and full-width characters, smart quotes.
		{" osc.udp://127.0.0.1:PORT/x", leading, R},
		{"\342\200\213osc.udp://h:1/x", leading},
		{"\342\200\234osc.udp://h:1/x\342\200\235", scheme_ascii},
		{"osc.udp\357\274\232//127.0.0.1:PORT/x", scheme_ascii, R,
		 "osc.udp\\357\\274\\232//127.0.0.1:PORT/x"},
		{"osc\357\274\216udp://h:1/x", scheme_ascii},
		{"\x80osc.udp://h:1/x", not_utf8},
		// Every byte outside printable ASCII is shown escaped: C0 and
		// 8-bit C1 controls (OSC, ST, NEL), their UTF-8 forms, bidi and
		// zero-width characters.
		{"\x1b]0;title\a", leading, R, "\\033]0;title\\007"},
		{"\x01\x1f \x7e\x7f\t\\", leading, R,
		 "\\001\\037 ~\\177\\t\\\\"},
		{"caf\xc3\xa9\x80\xff", scheme, R, "caf\\303\\251\\200\\377"},
		{"osc.udp://\2350;RAW-C1\234", not_utf8, R,
		 "osc.udp://\\2350;RAW-C1\\234"},
		{"osc.udp://\302\2350;C1-UTF8\302\234", host_bytes, R,
		 "osc.udp://\\302\\2350;C1-UTF8\\302\\234"},
		// The transport: ASCII letters and digits, and never read.
		{"osc.udp://127.0.0.1:PORT/x", "127.0.0.1 PORT /x", R},
		{"osc.tcp://127.0.0.1:PORT/x", "127.0.0.1 PORT /x", R},
		{"osc://127.0.0.1:PORT/x", "127.0.0.1 PORT /x", R},
		{"osc.09AZaz://127.0.0.1:000PORT/x", "127.0.0.1 000PORT /x", R},
		{"osc://127.0.0.1:00080/a:b/c", "127.0.0.1 00080 /a:b/c"},
		{"osc./://h:1/x", transport},
		{"osc.@://h:1/x", transport},
		{"osc.[://h:1/x", transport},
		{"osc.\xc3\xa9://h:1/x", scheme_ascii},
		{"osc.://127.0.0.1:PORT/x", transport, R},
		{"osc.u-p://127.0.0.1:PORT/x", transport, R},
		// Host characters: printable ASCII but : / [ ] @, and visible
		// UTF-8 from U+00A1 up.
		{"osc.udp://!~:1/x", "!~ 1 /x"},
		{"osc.udp://\302\241\364\217\277\277:1/x",
		 "\302\241\364\217\277\277 1 /x"},
		{"osc.udp://\x80\xff:1/x", not_utf8},
		{"osc.udp://a\302\240b:1/x", host_bytes},
		{"osc.udp://a\x1f:1/x", host_bytes},
		{"osc.udp://127 0.0.1:PORT/x", host_bytes, R},
		{"osc.udp://127.0.0.1\x7f:PORT/x", host_bytes, R,
		 "osc.udp://127.0.0.1\\177:PORT/x"},
		{"osc.udp://127.0.0.1]:PORT/x", host_brackets, R},
		{"osc.udp://a[b:1/x", host_brackets},
		{"osc.udp://user@127.0.0.1:PORT/x", user, R},
		{"osc.udp://user:pw@localhost:9000/x", user},
		{"osc.udp://h:1/a@b", "h 1 /a@b"},
		{"osc.udp://", no_host, R},
		{"osc.udp://:PORT/x", no_host, R},
		// glibc reads "*" as no host, and sends to loopback.
		{"osc.udp://*:PORT/x", star, R},
		{"osc.udp://*.example:1/x", "*.example 1 /x"},
		// A host that ends in a number is a dotted quad as inet_pton
		// reads it.
		{"osc.udp://0.0.0.0:1/x", "0.0.0.0 1 /x"},
		{"osc.udp://255.255.255.255:1/x", "255.255.255.255 1 /x"},
		{"osc.udp://256.0.0.1:1/x", quad},
		{"osc.udp://1:1/x", quad},
		{"osc.udp://192.168.001.010:1/x", quad},
		{"osc.udp://1.2.3.0x4:1/x", quad},
		{"osc.udp://1.2.3.0XfF:1/x", quad},
		{"osc.udp://1.2.3.4.5:1/x", quad},
		{"osc.udp://127.1:PORT/x", quad, R},
		{"osc.udp://0x7f000001:PORT/x", quad, R},
		{"osc.udp://0177.0.0.1:PORT/x", quad, R},
		{"osc.udp://2130706433:PORT/x", quad, R},
		{"osc.udp://127.0.0.1.:PORT/x", quad, R},
		{"osc.udp://desk.1:PORT/x", quad, R},
		// Names, even with digits in them, are the resolver's.
		{"osc.udp://1.example:1/x", "1.example 1 /x"},
		{"osc.udp://example.1a:1/x", "example.1a 1 /x"},
		{"osc.udp://example.0xg:1/x", "example.0xg 1 /x"},
		{"osc.udp://example.:1/x", "example. 1 /x"},
		{"osc.udp://.:1/x", ". 1 /x"},
		// IPv6 addresses, as inet_pton reads them, in brackets.
		{"osc.udp://[::1]:9000/x", "::1 9000 /x"},
		{"osc.udp://[::ffff:127.0.0.1]:9/x]", "::ffff:127.0.0.1 9 /x]"},
		{"osc.udp://[0000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 "0000:0000:0000:0000:0000:ffff:255.255.255.255 9 /x"},
		{"osc.udp://[00000:0000:0000:0000:0000:ffff:255.255.255.255]:9/"
		 "x",
		 brackets},
		{"osc.udp://[]:PORT/x", brackets, R},
		{"osc.udp://[127.0.0.1]:PORT/x", brackets, R},
		{"osc.udp://[fe80::1%lo]:PORT/x", zone, R},
		{"osc.udp://[cafe%lo]:9/x", brackets},
		{"osc.udp://[::1:PORT/x", unclosed, R},
		{"osc.udp://[::1]9/x", no_port},
		{"osc.udp://[::1]:/x", no_port},
		{"osc://[::1]:PORT/x", plain, R},
		{"osc.udp://::1:9000/x", unbracketed, R},
		{"osc.udp://fe80::1/x", unbracketed},
		{"osc.udp://::ffff:1.2.3.4:9000/x", unbracketed},
		// The port: 1 to 65535, and no number that wraps to that range.
		{"osc.udp://h:65535/x", "h 65535 /x"},
		{"osc.udp://h:0000000000000000000065535/x",
		 "h 0000000000000000000065535 /x"},
		{"osc.udp://h:4294967297/x", range},
		{"osc.udp://h:18446744073709551696/x", range},
		{"osc.udp://127.0.0.1:0/x", range, R},
		{"osc.udp://127.0.0.1:65536/x", range, R},
		{"osc.udp://127.0.0.1/x", no_port, R},
		{"osc.udp://127.0.0.1:/x", no_port, R},
		{"osc.udp://127.0.0.1:x/y", not_number, R},
		{"osc.udp://h:\357\274\231000/x", port_ascii},
		{"osc.udp://h:9000\357\274\217x", after_port},
		{"osc.udp://127.0.0.1:PORTx/y", after_port, R},
		{"osc.udp://127.0.0.1:PORT?a=1", after_port, R},
		{"osc.udp://h:1\nX-Injected: yes", after_port, R,
		 "osc.udp://h:1\\nX-Injected: yes"},
		// The path: visible UTF-8 from '!' up; OSC's pattern
		// characters, '#', ',' and "%2F" go as typed.
		{"osc://h:1", no_path, R},
		{"osc.udp://127.0.0.1:PORT", no_path, R},
		{"osc.udp://h:1/!~\302\241/caf\303\251/\342\202\254/"
		 "\360\237\216\265",
		 "h 1 /!~\302\241/caf\303\251/\342\202\254/\360\237\216\265"},
		{"osc.udp://127.0.0.1:PORT/mixer/*/fader[1-4]#,%2F?",
		 "127.0.0.1 PORT /mixer/*/fader[1-4]#,%2F?", R},
		// The joiners pass between characters outside ASCII (a family
		// emoji, Persian), and nowhere else.
		{"osc.udp://h:1/\360\237\221\250\342\200\215\360\237\221\251",
		 "h 1 /\360\237\221\250\342\200\215\360\237\221\251"},
		{"osc.udp://h:1/\331\205\333\214\342\200\214\330\256",
		 "h 1 /\331\205\333\214\342\200\214\330\256"},
		{"osc.udp://h:1/a\342\200\215\360\237\221\251", path_bytes},
		{"osc.udp://h:1/\360\237\221\250\342\200\215", path_bytes},
		{"osc.udp://h:1/\342\200\214x", path_bytes},
		{"osc.udp://h\342\200\215:1/x", host_bytes},
		{"osc.udp://h:1/x\2350", not_utf8},
		{"osc.udp://h:1/x\342\202", not_utf8},
		{"osc.udp://h:1/\x7f", path_bytes},
		{"osc.udp://h:1/x\363\240\200\201", path_bytes},
		{"osc.udp://127.0.0.1:PORT/x\302\2350;PWNED\302\234",
		 path_bytes, R,
		 "osc.udp://127.0.0.1:PORT/x\\302\\2350;PWNED\\302\\234"},
		{"osc.udp://127.0.0.1:PORT/vol\342\200\213ume", path_bytes, R,
		 "osc.udp://127.0.0.1:PORT/vol\\342\\200\\213ume"},
		{"osc.udp://h:1/x y\rosc-send: sent OK", path_bytes, R,
		 "osc.udp://h:1/x y\\rosc-send: sent OK"},
	};
	Listener l;
	auto with_port = [&](std::string s) {
		if (size_t at = s.find("PORT"); at != std::string::npos)
			s.replace(at, 4, l.port);
		return s;
	};
	std::set<std::string> reasons;
	for (const auto &c : cases) {
		std::string url = with_port(c.url);
		SCOPED_TRACE(c.shown.empty() ? url : with_port(c.shown));
		url_parts u;
		const char *why = split_url(url.c_str(), u);
		// A reason holds no port, but "osc.TRANSPORT" holds PORT.
		std::string expect = why ? c.expect : with_port(c.expect);
		EXPECT_EQ(why ? why
			      : std::string(u.host, u.host_end) + " " +
					  std::string(u.port, u.path) + " " +
					  u.path,
			  expect);
		if (why)
			reasons.insert(why);
		if (!c.run)
			continue;
		Result r = run("osc-send", {url, "1"});
		if (!why) {
			EXPECT_EQ(r.status, 0);
			EXPECT_EQ(r.out + r.err, "");
			OscMessage m = l.message();
			EXPECT_EQ(m.address + " " + m.tags,
				  expect.substr(expect.rfind(' ') + 1) + " ,f");
			continue;
		}
		std::string shown = c.shown.empty() ? url : with_port(c.shown);
		EXPECT_EQ(r.status, 1);
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "osc-send: invalid OSC URL '" + shown +
					 "': " + why + "\n");
		EXPECT_EQ(r.err_writes, 1);
	}
	EXPECT_TRUE(l.quiet());
	std::set<std::string> listed = manual_reasons();
	for (const auto &r : reasons)
		EXPECT_EQ(listed.count(r), 1u)
			<< "the manual does not list: " << r;
	for (const auto &r : listed)
		EXPECT_EQ(reasons.count(r), 1u)
			<< "the program does not give: " << r;
}

// The well-formed byte sequences of The Unicode Standard's Table 3-7: each
// row's first byte and its second byte at both ends of their ranges, and
// just past them, where the row takes them.
TEST(Utf8, WellFormedAtEveryBoundaryOfTable3_7)
{
	const struct {
		unsigned char first_lo, first_hi, second_lo, second_hi;
		size_t length;
	} rows[] = {
		{0x00, 0x7f, 0, 0, 1},       {0xc2, 0xdf, 0x80, 0xbf, 2},
		{0xe0, 0xe0, 0xa0, 0xbf, 3}, {0xe1, 0xec, 0x80, 0xbf, 3},
		{0xed, 0xed, 0x80, 0x9f, 3}, {0xee, 0xef, 0x80, 0xbf, 3},
		{0xf0, 0xf0, 0x90, 0xbf, 4}, {0xf1, 0xf3, 0x80, 0xbf, 4},
		{0xf4, 0xf4, 0x80, 0x8f, 4},
	};
	auto length = [](const std::vector<int> &bytes) {
		std::string s;
		for (int b : bytes)
			s += char(b);
		return utf8_length(s.c_str());
	};
	for (auto &r : rows) {
		for (int first : {r.first_lo, r.first_hi}) {
			SCOPED_TRACE(first);
			if (r.length == 1) {
				EXPECT_EQ(length({first, 0}), 1u);
				continue;
			}
			for (int second : {r.second_lo, r.second_hi})
				EXPECT_EQ(length({first, second, 0x80, 0xbf}),
					  r.length);
			EXPECT_EQ(length({first, r.second_lo - 1, 0x80, 0xbf}),
				  0u);
			EXPECT_EQ(length({first, r.second_hi + 1, 0x80, 0xbf}),
				  0u);
			// The third and fourth bytes, where there are any.
			for (size_t k = 2; k < r.length; k++)
				for (int bad : {0x7f, 0xc0}) {
					std::vector<int> b{first, r.second_lo,
							   0x80, 0x80};
					b[k] = bad;
					EXPECT_EQ(length(b), 0u);
				}
		}
	}
	// The bytes that begin no row.
	for (int first : {0x80, 0xbf, 0xc0, 0xc1, 0xf5, 0xff})
		EXPECT_EQ(length({first, 0x80, 0x80, 0x80}), 0u) << first;
}

// The blanks and invisible characters refused in a host or a path are the
// controls, spaces, separators and format characters of UnicodeData.txt
// (Unicode 15.0 in Debian 12, 15.1 in Debian 13, the same for these), but
// for the joiners, which pass between characters outside ASCII.
TEST(Utf8, InvisibleIsUnicodeDataCcZsZlZpCf)
{
	std::ifstream data("/usr/share/unicode/UnicodeData.txt");
	ASSERT_TRUE(data) << "install unicode-data";
	std::vector<bool> listed(0x110000);
	size_t count = 0;
	for (std::string line; std::getline(data, line);) {
		std::istringstream fields(line);
		std::string code, name, category;
		std::getline(fields, code, ';');
		std::getline(fields, name, ';');
		std::getline(fields, category, ';');
		if (category == "Cc" || category == "Zs" || category == "Zl" ||
		    category == "Zp" || category == "Cf") {
			listed[std::stoul(code, nullptr, 16)] = true;
			count++;
		}
	}
	EXPECT_GE(count, 254u);
	for (char32_t c = 0; c < 0x110000; c++)
		if (invisible(c) != listed[c])
			ADD_FAILURE() << std::hex << "U+" << unsigned(c);
}

// Fails each allocation of a run in turn. The message goes out whole with
// status 0, or nothing goes out and one line says that memory ran out;
// under valgrind, no path may leak.
// A crash whose instruction lies in liblo.so passes: liblo writes through
// allocations it does not check, and then sends nothing; that is liblo's to
// mend. A crash anywhere else, in the program or in libc, fails.
TEST(Failures, FailedAllocationSendsAllOrNothing)
{
	if (!shim_works)
		GTEST_SKIP() << "the sanitizer owns malloc";
	Listener l;
	const std::vector<std::string> args{
		"osc.udp://127.0.0.1:" + l.port + "/x", "1", "a", "2", "bb"};
	Result r = run("osc-send", args, with_faults({"FAULT_ALLOC=0"}));
	ASSERT_EQ(r.status, 0);
	l.message();
	int calls = 0;
	sscanf(r.err.c_str(), "allocations: %d", &calls);
	ASSERT_GT(calls, 5) << r.err;

	std::string unplaced, in_liblo_at;
	for (int k = 1; k <= calls; k++) {
		SCOPED_TRACE("allocation " + std::to_string(k));
		r = run("osc-send", args,
			with_faults({"FAULT_ALLOC=" + std::to_string(k)}));
		std::string said = r.out + r.err;
		if (r.status == 0) {
			EXPECT_EQ(said, "");
			OscMessage m = l.message();
			EXPECT_EQ(m.tags, ",fsfs");
		} else if (r.status == 1) {
			// getaddrinfo's own failure reaches us through liblo.
			const std::string memory = "Memory allocation failure";
			EXPECT_TRUE(
				said == "osc-send: out of memory\n" ||
				said == "liblo error: " + memory +
						"\nosc-send: the message was "
						"not sent to '127.0.0.1:" +
						l.port + "': " + memory + "\n")
				<< said;
		} else {
			// A checker may have said more about the crash.
			EXPECT_GT(r.status, 128) << said;
			size_t at = r.err.find("crashed ");
			std::string where = at == std::string::npos
						    ? said
						    : r.err.substr(at);
			bool in_liblo =
				where.rfind("crashed in /", 0) == 0 &&
				where.find("/liblo.so.") != std::string::npos;
			if (where == "crashed at an unknown instruction\n")
				unplaced += " " + std::to_string(k);
			else
				EXPECT_TRUE(in_liblo) << said;
			if (in_liblo)
				in_liblo_at +=
					" " + std::to_string(k) + ": " +
					where.substr(0, where.find('\n'));
		}
	}
	// Which of liblo's crashes this machine met, for the build log.
	printf("%d allocations; failing these crashed in liblo:%s\n", calls,
	       in_liblo_at.c_str());
	EXPECT_TRUE(l.quiet());
	if (!unplaced.empty())
		GTEST_SKIP() << "the shim cannot place a crash on this "
				"architecture: not checked that allocations"
			     << unplaced << " crashed in liblo";
}

} // namespace
