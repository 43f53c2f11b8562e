// The daemon's judgement of a candidate config file, as its standard output: the
// only answers are a judgement or a ParseError. Where its issues go is pinned by
// the unit tests of the mapping, which cover every branch of it.

#include "FuzzSupport.hpp"
#include "settings/SaveSettings.hpp"

using namespace menubar;
using namespace menubar::fuzz;

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
    return 0;
}
