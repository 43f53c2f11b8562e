// The daemon's judgement of a candidate config file, as its standard output: the
// only answers are a judgement or a ParseError, and the messages of a refusal are
// each shown exactly once, beside a setting the form knows or in the general list.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "FuzzSupport.hpp"
#include "settings/SaveSettings.hpp"

using namespace menubar;
using menubar::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<ValidateOutput> output;
    try {
        output = ValidateOutput::parse(text);
    } catch (const ValidateOutput::ParseError& error) {
        require(std::string_view(error.what()).size() > 0, "a refusal says why");
        return 0;
    }
    const auto* issues = output->issues();
    require(output->isOk() == (issues == nullptr), "ok has no issues, a refusal has a list");
    if (!issues)
        return 0;

    // Half of the named options are known to the form, so that both the field
    // and the general branch see every shape of issue.
    std::set<std::string> known;
    bool take = true;
    for (const auto& issue : *issues)
        for (const auto& option : issue.options) {
            if (take)
                known.insert(option);
            take = !take;
        }

    const auto mapped = ValidateOutput::mapped(*issues, known);
    require(mapped.fields.size() + mapped.general.size() <= issues->size() + known.size(),
            "no message is invented");
    for (const auto& [name, message] : mapped.fields)
        require(known.contains(name), "a field message names a known setting");
    std::size_t unnamed = 0;
    for (const auto& issue : *issues) {
        bool named = false;
        for (const auto& option : issue.options)
            named = named || known.contains(option);
        unnamed += named ? 0 : 1;
    }
    require(mapped.general.size() == unnamed, "every issue naming no known setting is general");
    return 0;
}
