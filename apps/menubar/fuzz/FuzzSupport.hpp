#pragma once

// What every fuzz target shares: a way to report a broken promise that libFuzzer
// records as a crash with the input that caused it, and the UTF-8 check behind
// the promise that text shown to the user is always well formed (every string
// the decoders accept is, so a cut or a join that splits a character is a bug).
// The standard headers come along: every entry point takes bytes and reads them
// as a string_view.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "system/UnicodeText.hpp"

namespace menubar::fuzz {

inline void require(bool kept, const char* promise) {
    if (!kept) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

// ICU's reading of UTF-8 is the judge; the texts under test are cut and joined
// by the core's own code, not by this check.
inline constexpr auto* isWellFormedUTF8 = &UnicodeText::isWellFormed;

} // namespace menubar::fuzz
