// unicode DIR: each code point, as UTF-8 before the scheme and in the host,
// port and path, is refused as a blank, control or invisible character just
// where DIR's files (unicode-data) say Cc, White_Space or
// Default_Ignorable_Code_Point but for the selectors; at the start as a
// quotation mark just where they say Quotation_Mark.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "osc-send.h"

namespace {

int failures;

void
expect(bool holds, const std::string &what)
{
	if (!holds && ++failures <= 20)
		fprintf(stderr, "unicode: %s\n", what.c_str());
}

// Marks each code point that file's "0000..001F ; NAME #" lines give NAME.
bool
mark(const std::string &file, const char *property, std::vector<bool> &set)
{
	std::ifstream in(file);
	char name[64];
	for (std::string line; std::getline(in, line);) {
		unsigned first, last;
		int n = sscanf(line.c_str(), "%x..%x ; %63s", &first, &last,
			       name);
		if (n == 1 &&
		    sscanf(line.c_str(), "%x ; %63s", &last, name) == 2)
			n = 3;
		if (n != 3 || strcmp(name, property) != 0)
			continue;
		for (unsigned c = first; c <= last; c++)
			set[c] = true;
	}
	return in.eof();
}

std::string
utf8(char32_t c)
{
	if (c < 0x80)
		return std::string(1, char(c));
	int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
	std::string s(1, char((0xf00 >> n) | (c >> (6 * (n - 1)))));
	for (int i = n - 2; i >= 0; i--)
		s += char(0x80 | ((c >> (6 * i)) & 0x3f));
	return s;
}

const std::string blank = " a blank, a control or an invisible character",
		  lig = " a ligature (U+FB00 to U+FB06)";

std::string
reason(const std::string &url)
{
	url_parts u;
	const char *why = split_url(url.c_str(), u);
	return why ? why : "accepted";
}

// The ill-formed neighbours of Table 3-7's rows, whose well-formed bytes
// the sweep sends: a second byte just past a row's range, a later byte that
// is no continuation, a byte that begins no row.
void
table_3_7()
{
	const int rows[][4] = {
		{0xc2, 0xdf, 0x80, 0xbf}, {0xe0, 0xe0, 0xa0, 0xbf},
		{0xe1, 0xec, 0x80, 0xbf}, {0xed, 0xed, 0x80, 0x9f},
		{0xee, 0xef, 0x80, 0xbf}, {0xf0, 0xf0, 0x90, 0xbf},
		{0xf1, 0xf3, 0x80, 0xbf}, {0xf4, 0xf4, 0x80, 0x8f},
	};
	auto ill_formed = [](int first, int second, int length, int k,
			     int bad) {
		std::string s(size_t(length), char(0x80));
		s[0] = char(first);
		s[1] = char(second);
		s[size_t(k)] = char(bad);
		char text[64];
		snprintf(text, sizeof text, "%x %x, byte %d %x, is UTF-8",
			 first, second, k, bad);
		expect(reason("osc.udp://h:1/" + s) ==
			       "it holds a byte that is not UTF-8",
		       text);
	};
	for (const auto &r : rows)
		for (int first : {r[0], r[1]}) {
			int length = first < 0xe0 ? 2 : first < 0xf0 ? 3 : 4;
			ill_formed(first, r[2] - 1, length, 0, first);
			ill_formed(first, r[3] + 1, length, 0, first);
			for (int k = 2; k < length; k++) {
				ill_formed(first, r[2], length, k, 0x7f);
				ill_formed(first, r[2], length, k, 0xc0);
			}
		}
	for (int first : {0x80, 0xbf, 0xc0, 0xc1, 0xf5, 0xff})
		ill_formed(first, 0x80, 4, 0, first);
}

} // namespace

int
main(int argc, const char *argv[])
{
	std::string dir = argc == 2 ? argv[1] : "/usr/share/unicode";
	std::vector<bool> set(0x110000), quote(0x110000);
	if (!mark(dir + "/extracted/DerivedGeneralCategory.txt", "Cc", set) ||
	    !mark(dir + "/PropList.txt", "White_Space", set) ||
	    !mark(dir + "/DerivedCoreProperties.txt",
		  "Default_Ignorable_Code_Point", set) ||
	    !mark(dir + "/PropList.txt", "Quotation_Mark", quote)) {
		fprintf(stderr, "unicode: cannot read %s (unicode-data)\n",
			dir.c_str());
		return 2;
	}
	// The selectors: the combining grapheme joiner, Mongolian's, and the
	// variation selectors.
	for (char32_t c : {0x34f, 0x180b, 0x180c, 0x180d, 0x180f})
		set[c] = false;
	for (char32_t c = 0xfe00; c <= 0xfe0f; c++)
		set[c] = false;
	for (char32_t c = 0xe0100; c <= 0xe01ef; c++)
		set[c] = false;

	// Each part: the text around the code point, how its reasons begin.
	const struct {
		const char *before, *after, *part;
		bool ascii, ligature;
	} parts[] = {
		{"", "osc.udp://h:1/x", "it begins with", true, false},
		{"osc.udp://a", "b:1/x", "the host holds", false, true},
		{"osc.udp://h:1", "/x", "the port holds", true, false},
		{"osc.udp://h:1/a", "b", "the path holds", true, true},
	};
	int refused = 0;
	for (char32_t c = 1; c < 0x110000; c++) {
		if (c >= 0xd800 && c <= 0xdfff)
			continue;
		char at[32];
		snprintf(at, sizeof at, "U+%04X ", unsigned(c));
		bool is_ligature = c >= 0xfb00 && c <= 0xfb06;
		refused += set[c];
		for (const auto &p : parts) {
			if (!p.ascii && c > 0x20 && c < 0x7f)
				continue;
			std::string part = p.part,
				    got = reason(p.before + utf8(c) + p.after);
			expect((got == part + blank) == set[c], at + got);
			if (p.ligature)
				expect(got == (set[c]        ? part + blank
					       : is_ligature ? part + lig
							     : "accepted"),
				       at + got);
		}
		std::string got = reason(utf8(c) + "osc.udp://h:1/x");
		expect((got == "it begins with a quotation mark") == quote[c],
		       at + got);
	}
	table_3_7();
	printf("unicode: %d refused as invisible, %d failures\n", refused,
	       failures);
	return failures ? 1 : 0;
}
