// Aviation data format of panel GPS navigators, from its published layout:
// STX, item records (a designator letter and fixed-width fields, each ended
// by CR), ETX. A generator of the navigator's message and a decoder of the
// unit's output.
#pragma once
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace aviation_peer {

inline std::string Message(const std::vector<std::string>& items) {
    std::string m = "\x02";
    for (const std::string& i : items) m += i + "\r";
    return m + "\x03";
}

// Items of a message by designator; empty when it is not STX .. ETX.
inline std::map<char, std::string> Decode(const std::string& m) {
    std::map<char, std::string> items;
    if (m.size() < 2 || m.front() != '\x02' || m.back() != '\x03') return items;
    size_t start = 1;
    for (size_t i = 1; i + 1 < m.size(); ++i) {
        if (m[i] != '\r') continue;
        if (i > start) items[m[start]] = m.substr(start + 1, i - start - 1);
        start = i + 1;
    }
    return items;
}

}  // namespace aviation_peer
