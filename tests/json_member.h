// Reads one member out of a JSON answer, for tests that check a few members
// of a long text.
#ifndef AMBREL_TESTS_JSON_MEMBER_H
#define AMBREL_TESTS_JSON_MEMBER_H

#include <string>

// The member at a JSON pointer ("/batteries/0/state"), written compactly
// ("\"discharging\"", "null", "28.0"); "<missing>" when there is none and
// "<not JSON>" when text does not parse.
std::string json_member(const std::string &text, const char *pointer);

#endif
