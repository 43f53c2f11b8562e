// Inputs the fuzz targets found, kept as tests so that the faults stay fixed.

#include <string>

#include <gtest/gtest.h>

#include "settings/SettingsForm.hpp"
#include "settings/SettingsSchema.hpp"
#include "status/StatusDecoder.hpp"
#include "json/JSONValue.hpp"

using namespace menubar;

namespace {

// The reason each JSON-reading surface gives for the bytes, as the user sees it.
std::string statusReason(const std::string& bytes) {
    const FileSystem fake{
        .exists = [](const std::string&) { return true; },
        .readFile = [&bytes](const std::string&, std::uint64_t) -> FileReadResult { return bytes; },
        .isExecutable = [](const std::string&) { return false; },
    };
    const auto snapshot = StatusFileLocator::load("/status.json", fake);
    const auto* unreadable = std::get_if<StatusSnapshot::Unreadable>(&snapshot.value());
    return unreadable ? unreadable->reason : "<not unreadable>";
}

template <class Decode> std::string refusal(Decode decode) {
    try {
        decode();
    } catch (const JSONError& error) {
        return error.what();
    }
    return "<decoded>";
}

} // namespace

// The parser quotes the bytes it stopped at, and outside a string those can be
// any bytes; the reason reaches tooltips and the menu, so it must stay UTF-8.
TEST(FuzzRegression, ParserMessagesAreWellFormedUTF8) {
    const struct {
        const char* bytes;
        const char* expected;
    } cases[] = {
        // A lead byte whose follower is no continuation byte.
        {"{\"at\": \xE0\xDF}",
         "parse error at line 1, column 8: syntax error while parsing value - invalid literal; "
         "last read: '\"at\": \xEF\xBF\xBD'"},
        // A well-formed "é" that the quote cuts after its first byte.
        {"[\xC3\xA9]", "parse error at line 1, column 2: syntax error while parsing value - "
                       "invalid literal; last read: '[\xEF\xBF\xBD'"},
    };
    for (const auto& c : cases) {
        const std::string bytes = c.bytes;
        EXPECT_EQ(statusReason(bytes), c.expected) << bytes;
        EXPECT_EQ(refusal([&] { SettingsSchema::decode(bytes); }), c.expected) << bytes;
        EXPECT_EQ(refusal([&] { SettingsForm::parseFile(bytes); }), c.expected) << bytes;
    }
}
