// The settings window's whole load-and-write path on hostile input: a schema the
// daemon printed and a config file on disk (the two halves of the input, split
// at the first NUL byte, which neither JSON document may contain). The file the
// form would write must read back as a config object, keep every key the form
// does not manage, and be a fixed point: loading it again writes the same bytes.

#include "FuzzSupport.hpp"
#include "settings/SettingsForm.hpp"
#include "settings/SettingsSchema.hpp"
#include "json/JSONValue.hpp"

using namespace menubar;
using namespace menubar::fuzz;

namespace {

void checkWritten(const SettingsForm& form, const SettingsSchema& schema) {
    const std::string written = form.serializedData();
    require(!written.empty() && written.back() == '\n', "the new file ends with a line feed");
    require(isWellFormedUTF8(written), "the new file is well-formed UTF-8");

    const JSONObject reread = SettingsForm::parseFile(written);
    for (const auto& [key, value] : form.passthrough()) {
        const auto found = reread.find(key);
        require(found != reread.end() && found->second == value,
                "every key the form does not manage is written back unchanged");
    }
    require(SettingsForm(schema, reread).serializedData() == written,
            "a written file loads into a form that writes the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\0');
    const std::string_view schemaBytes = input.substr(0, split);
    const std::string_view fileBytes =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    SettingsSchema schema;
    try {
        schema = SettingsSchema::decode(schemaBytes);
    } catch (const JSONError& error) {
        require(isWellFormedUTF8(error.what()), "schema refusals are well-formed UTF-8");
        return 0;
    }

    JSONObject file;
    if (!fileBytes.empty()) {
        try {
            file = SettingsForm::parseFile(fileBytes);
        } catch (const JSONError&) {
        } catch (const SettingsFormError&) {
        }
    }

    SettingsForm form(schema, file);
    checkWritten(form, schema);

    // Every field back to its default, as the user's "Reset" does: still a file
    // that reads back, and still one that keeps the unmanaged keys.
    for (const SettingSpec& spec : schema.settings())
        form.reset(spec.name);
    checkWritten(form, schema);
    return 0;
}
