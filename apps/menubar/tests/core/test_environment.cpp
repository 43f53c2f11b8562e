#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system/Environment.hpp"

using Variables = std::map<std::string, std::string>;

TEST(Environment, ReadsTheBlockAsGetenvWould) {
    const struct {
        const char* name;
        std::vector<const char*> entries;
        Variables expected;
    } cases[] = {
        {"a value keeps every later equals sign",
         {"A=b=c", "EMPTY="},
         {{"A", "b=c"}, {"EMPTY", ""}}},
        {"an entry without a name is no variable", {"=x", "junk", "B=1"}, {{"B", "1"}}},
        {"the first of a repeated name wins", {"HOME=/a", "HOME=/b"}, {{"HOME", "/a"}}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.entries.push_back(nullptr);
        EXPECT_EQ(menubar::environmentOf(c.entries.data()), c.expected);
    }
    EXPECT_EQ(menubar::environmentOf(nullptr), Variables{});
}
