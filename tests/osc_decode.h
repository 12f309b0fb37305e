// A strict decoder for the OSC messages the program may send: an address,
// a type-tag string and f or s arguments, written from the OSC 1.0 rules
// rather than from liblo, so that the two can disagree.
#ifndef OSC_DECODE_H
#define OSC_DECODE_H

#include <cstdint>
#include <string>
#include <vector>

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
inline bool
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

inline bool
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

#endif
