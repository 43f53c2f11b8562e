// JSON values written by the app are read back by the daemon and by the app
// itself, so both writers must give text that decodes to the very value they
// were given, and the number rule must give text that reads back to the same
// double. Any other outcome than a value or a JSONError is a bug.

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "FuzzSupport.hpp"
#include "json/JSONValue.hpp"

using namespace menubar;
using namespace menubar::fuzz;

namespace {

void checkNumberText(double number) {
    if (!std::isfinite(number))
        return;
    const std::string text = JSONValue::format(number);
    require(!text.empty(), "every finite number has a text");
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    require(end == text.c_str() + text.size(), "the number text is all number");
    require(back == number, "the number text reads back to the same double");
    // The daemon reads the same text as JSON, which has no "inf", "nan" or "+".
    const JSONValue decoded = JSONValue::decode(text);
    require(decoded.numberValue() == back, "the number text is a JSON number");
}

void checkRoundTrip(const JSONValue& value) {
    for (const bool pretty : {false, true}) {
        const std::string text = JSONValue::encode(value, pretty);
        require(isWellFormedUTF8(text), "encoded JSON is well-formed UTF-8");
        require(JSONValue::decode(text) == value, "decode(encode(v)) == v");
        require(JSONValue::encode(JSONValue::decode(text), pretty) == text,
                "encoding is stable across a round trip");
    }
    require(isWellFormedUTF8(value.compactText()), "compact text is well-formed UTF-8");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first eight bytes double as a raw number, so that the number rule meets
    // every bit pattern, not only the ones a decimal text would give.
    if (size >= sizeof(double)) {
        double number = 0;
        std::memcpy(&number, data, sizeof number);
        checkNumberText(number);
    }

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    JSONValue value;
    try {
        value = JSONValue::decode(bytes);
    } catch (const JSONError& error) {
        require(std::string_view(error.what()).size() > 0, "a refusal says why");
        return 0;
    }
    // The decoder refuses numbers it cannot hold, so every decoded value is finite.
    checkRoundTrip(value);
    return 0;
}
