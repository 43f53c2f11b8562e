#pragma once

// Documents of a chosen size, shaped like the ones the daemon writes and prints
// (every field filled, sorted keys, pretty printed), so that a benchmark measures
// the app on realistic bytes rather than on a best case.

#include <cstddef>
#include <string>

namespace menubar::bench {

// A status file of a running daemon with that many sessions and events; a third
// of the sessions have a handoff file. Its poll time is `pollSeconds` after the epoch.
std::string statusDocument(std::size_t sessions, std::size_t events, long long pollSeconds);

// A settings schema with that many settings, cycling through every control kind.
std::string schemaDocument(std::size_t settings);

// A config file for that schema: a value for every other setting (one in ten of
// them of the wrong type), and a few keys the schema does not know.
std::string configDocument(std::size_t settings);

} // namespace menubar::bench
