#pragma once

// The process environment as the rest of the code takes it: a map from name to
// value, read from a `char** environ` style block so that the app, the bar and
// a child's environment all agree on what a variable is.

#include <map>
#include <string>

namespace menubar {

// Every "NAME=value" entry of the null-terminated block. An entry without "="
// or with an empty name is no variable and is skipped; when a name repeats, the
// first entry wins, as getenv reads it.
std::map<std::string, std::string> environmentOf(const char* const* entries);

} // namespace menubar
