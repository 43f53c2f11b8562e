#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "json/JSONText.hpp"
#include "json/JSONValue.hpp"

using namespace menubar;

namespace {

const auto num = [](double value) { return JSONValue::number(value); };
const auto str = [](std::string value) { return JSONValue::string(std::move(value)); };

// The decoder's message for the text, or "<decoded>".
std::string refusal(const std::string& text) {
    try {
        JSONValue::decode(text);
    } catch (const JSONError& error) {
        return error.what();
    }
    return "<decoded>";
}

// The same text as the library's own tree gives it: the value, or the message.
std::string throughTheLibrarysTree(const std::string& text) {
    const auto convert = [](const auto& self, const nlohmann::json& json) -> JSONValue {
        if (json.is_object()) {
            JSONValue::Object members;
            for (const auto& [key, value] : json.items())
                members.emplace(key, self(self, value));
            return JSONValue::object(std::move(members));
        }
        if (json.is_array()) {
            JSONValue::Array elements;
            for (const auto& element : json)
                elements.push_back(self(self, element));
            return JSONValue::array(std::move(elements));
        }
        if (json.is_string())
            return JSONValue::string(json.get<std::string>());
        if (json.is_number())
            return JSONValue::number(json.get<double>());
        if (json.is_boolean())
            return JSONValue::boolean(json.get<bool>());
        return JSONValue::null();
    };
    try {
        return JSONValue::encode(convert(convert, nlohmann::json::parse(text)), false);
    } catch (const nlohmann::json::exception& error) {
        return JSONText::describe(error);
    }
}

} // namespace

TEST(JSONValue, IntegerRuleAtItsBoundaries) {
    const std::vector<std::pair<double, const char*>> cases{
        {-0.0, "0"},
        {-7.0, "-7"},
        {0.1, "0.1"},
        {std::nextafter(1e15, 0.0), "999999999999999.9"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1e+15"},
        {-1e15, "-1e+15"},
        {5e-324, "5e-324"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(JSONValue::format(value), text) << value;
}

TEST(JSONValue, CompactTextAndNonFiniteNumbers) {
    // Scalars and lists as the live values show them are pinned with those.
    EXPECT_EQ(str("\"").compactText(), "\"");
    // Keys sort by code point.
    EXPECT_EQ(JSONValue::object({{"é", num(1)}, {"z", num(2)}, {"A", num(3)}, {"a", num(4)}})
                  .compactText(),
              R"({"A":3,"a":4,"z":2,"é":1})");
    EXPECT_EQ(JSONValue::array({num(std::nan(""))}).compactText(), "");
    EXPECT_EQ(JSONValue::object({{"x", num(INFINITY)}}).compactText(), "");
}

TEST(JSONValue, EncodeEscapesAsJSONRequiresAndSlashToo) {
    const std::string text = std::string("q\" b\\ s/ \b\f\n\r\t ") + '\x01' + '\x1f' + " é";
    EXPECT_EQ(JSONValue::encode(str(text), false), R"("q\" b\\ s\/ \b\f\n\r\t \u0001\u001f é")");
}

TEST(JSONValue, PrettyLayoutByteForByte) {
    const JSONValue value = JSONValue::object({
        {"warn-context", num(70)},
        {"$schema", str("https://x/y")},
        {"list", JSONValue::array({str("a"), num(0.5)})},
        {"empty", JSONValue::array({})},
        {"nested", JSONValue::object({{"z", JSONValue()}, {"Z", JSONValue::boolean(true)}})},
        {"none", JSONValue::object({})},
    });
    EXPECT_EQ(JSONValue::encode(value, true), "{\n"
                                              "  \"$schema\" : \"https:\\/\\/x\\/y\",\n"
                                              "  \"empty\" : [],\n"
                                              "  \"list\" : [\n"
                                              "    \"a\",\n"
                                              "    0.5\n"
                                              "  ],\n"
                                              "  \"nested\" : {\n"
                                              "    \"Z\" : true,\n"
                                              "    \"z\" : null\n"
                                              "  },\n"
                                              "  \"none\" : {},\n"
                                              "  \"warn-context\" : 70\n"
                                              "}");
}

TEST(JSONValue, Equality) {
    EXPECT_NE(num(std::nan("")), num(std::nan("")));
    EXPECT_NE(str("1"), num(1));
    EXPECT_NE(JSONValue::array({num(1), num(2)}), JSONValue::array({num(2), num(1)}));
    EXPECT_EQ(JSONValue::decode(R"({"a":1,"b":[true]})"),
              JSONValue::decode(R"({"b":[true],"a":1})"));
    EXPECT_NE(JSONValue::decode(R"({"a":1})"), JSONValue::decode(R"({"a":1,"b":2})"));
}

TEST(JSONValue, NestingIsLimitedWithoutTouchingTheStack) {
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '[') +
               std::string(static_cast<std::size_t>(depth), ']');
    };
    EXPECT_EQ(refusal(nested(JSONValue::maximumDepth)), "<decoded>");
    EXPECT_EQ(refusal(nested(JSONValue::maximumDepth + 1)), "nesting deeper than 512 levels");
    // A hostile document far deeper than any stack: refused, not crashed.
    EXPECT_EQ(refusal(std::string(1'000'000, '[')), "nesting deeper than 512 levels");
    // Brackets inside strings do not count.
    EXPECT_EQ(refusal("[\"" + std::string(2000, '[') + "\\\"\"]"), "<decoded>");
}

// The conformance suite: every y_ case must decode, every n_ case
// must fail, and every i_ case may go either way but must not crash. Each
// decodes, or fails, as the library's own tree would have it (duplicate keys,
// number kinds and key order among them).
TEST(JSONValue, ConformanceSuite) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(MENUBAR_FIXTURES) / "JSONTestSuite" / "test_parsing";
    ASSERT_TRUE(fs::is_directory(folder)) << "no conformance data at " << folder;
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string outcome = refusal(bytes.str());
        const bool decoded = outcome == "<decoded>";
        if (bytes.str().find('\0') == std::string::npos && !outcome.starts_with("nesting")) {
            EXPECT_EQ(decoded ? JSONValue::encode(JSONValue::decode(bytes.str()), false) : outcome,
                      throughTheLibrarysTree(bytes.str()))
                << name;
        }
        if (name.starts_with("y_")) {
            EXPECT_TRUE(decoded) << name;
        } else if (name.starts_with("n_")) {
            EXPECT_FALSE(decoded) << name;
        }
        ++seen;
    }
    EXPECT_GE(seen, 300);
}
