#include "SettingsSchema.hpp"

#include <cmath>

#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include "JSONText.hpp"

namespace menubar {

namespace {

using Json = nlohmann::json;

// Walks the parsed document with the key path in hand, so a failure says where.
class Decoder {
public:
    SettingsSchema schema(const Json& json) {
        requireObject(json, "Object");
        SettingsSchema schema;
        schema.version = optional(json, "x-settings-version", &Decoder::integer).value_or(1);

        std::map<std::string, SettingsSchema::Property> properties;
        if (const Json* members = member(json, "properties")) {
            path_.emplace_back("properties");
            requireObject(*members, "Object");
            for (const auto& [key, value] : members->items()) {
                if (value.is_null())
                    continue;
                path_.push_back(key);
                properties.insert_or_assign(key, property(value));
                path_.pop_back();
            }
            path_.pop_back();
        }

        const auto entries = optional(json, "x-groups", &Decoder::groupEntries)
                                 .value_or(std::vector<SettingsSchema::GroupEntry>{});
        for (const auto& entry : entries) {
            SettingsGroup group{.id = entry.id, .title = entry.title.value_or(entry.id)};
            for (const auto& meta : entry.settings) {
                const auto found = properties.find(meta.name);
                group.settings.push_back(SettingsSchema::merge(
                    meta, found == properties.end() ? nullptr : &found->second));
            }
            schema.groups.push_back(std::move(group));
        }
        return schema;
    }

private:
    std::vector<std::string> path_;

    [[noreturn]] void fail(std::string_view what) const {
        std::string location;
        for (const auto& key : path_)
            location += (location.empty() ? "" : ".") + key;
        throw JSONError(std::string(what) + " at " + (location.empty() ? "top level" : location));
    }
    [[noreturn]] void mismatch(std::string_view type) const {
        fail("type mismatch (" + std::string(type) + ")");
    }

    void requireObject(const Json& json, std::string_view type) const {
        if (!json.is_object())
            mismatch(type);
    }

    static const Json* member(const Json& object, const char* key) {
        const auto found = object.find(key);
        return found == object.end() || found->is_null() ? nullptr : &*found;
    }

    template <class Read>
    auto optional(const Json& object, const char* key, Read read)
        -> std::optional<std::invoke_result_t<Read, Decoder*, const Json&>> {
        const Json* value = member(object, key);
        if (value == nullptr)
            return std::nullopt;
        path_.emplace_back(key);
        auto result = (this->*read)(*value);
        path_.pop_back();
        return result;
    }

    template <class Read>
    auto required(const Json& object, const char* key, Read read)
        -> std::invoke_result_t<Read, Decoder*, const Json&> {
        if (member(object, key) == nullptr)
            fail("missing key " + std::string(key));
        return *optional(object, key, read);
    }

    template <class Read>
    auto list(const Json& json, std::string_view elementType, Read read)
        -> std::vector<std::invoke_result_t<Read, Decoder*, const Json&>> {
        if (!json.is_array())
            mismatch("Array");
        std::vector<std::invoke_result_t<Read, Decoder*, const Json&>> values;
        std::size_t index = 0;
        for (const auto& element : json) {
            path_.push_back(std::to_string(index++));
            if (element.is_null())
                fail("missing value (" + std::string(elementType) + ")");
            values.push_back((this->*read)(element));
            path_.pop_back();
        }
        return values;
    }

    std::string text(const Json& json) {
        if (!json.is_string())
            mismatch("String");
        return json.get<std::string>();
    }
    bool flag(const Json& json) {
        if (!json.is_boolean())
            mismatch("Bool");
        return json.get<bool>();
    }
    double number(const Json& json) {
        if (!json.is_number())
            mismatch("Double");
        return json.get<double>();
    }
    // 2.0 counts as a whole number, 2.5 does not.
    std::int64_t integer(const Json& json) {
        if (json.is_number_integer())
            return json.get<std::int64_t>();
        if (json.is_number_unsigned() &&
            json.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX))
            return static_cast<std::int64_t>(json.get<std::uint64_t>());
        if (json.is_number_float()) {
            const double value = json.get<double>();
            if (std::trunc(value) == value && value >= -9.2233720368547758e18 &&
                value < 9.2233720368547758e18)
                return static_cast<std::int64_t>(value);
        }
        mismatch("Int");
    }
    std::vector<std::string> texts(const Json& json) {
        return list(json, "String", &Decoder::text);
    }
    JSONValue anyValue(const Json& json) {
        try {
            return JSONValue::from(json);
        } catch (const JSONError& error) {
            fail(error.what());
        }
    }

    SettingsSchema::Items items(const Json& json) {
        requireObject(json, "Items");
        return {
            .pattern = optional(json, "pattern", &Decoder::text),
            .enumValues = optional(json, "enum", &Decoder::texts),
        };
    }

    SettingsSchema::Property property(const Json& json) {
        requireObject(json, "Property");
        return {
            .type = optional(json, "type", &Decoder::text),
            .minimum = optional(json, "minimum", &Decoder::number),
            .maximum = optional(json, "maximum", &Decoder::number),
            .pattern = optional(json, "pattern", &Decoder::text),
            .items = optional(json, "items", &Decoder::items),
            .defaultValue = optional(json, "default", &Decoder::anyValue),
            .enumValues = optional(json, "enum", &Decoder::texts),
        };
    }

    SettingsSchema::Meta meta(const Json& json) {
        requireObject(json, "Meta");
        return {
            .name = required(json, "name", &Decoder::text),
            .group = optional(json, "group", &Decoder::text),
            .control = optional(json, "control", &Decoder::text),
            .help = optional(json, "help", &Decoder::text),
            .restart = optional(json, "restart", &Decoder::flag),
            .min = optional(json, "min", &Decoder::number),
            .max = optional(json, "max", &Decoder::number),
            .integer = optional(json, "integer", &Decoder::flag),
            .values = optional(json, "values", &Decoder::texts),
            .multiple = optional(json, "multiple", &Decoder::flag),
            .multiline = optional(json, "multiline", &Decoder::flag),
            .requiredPrefix = optional(json, "requiredPrefix", &Decoder::text),
            .itemPattern = optional(json, "itemPattern", &Decoder::text),
        };
    }

    SettingsSchema::GroupEntry groupEntry(const Json& json) {
        requireObject(json, "GroupEntry");
        return {
            .id = required(json, "id", &Decoder::text),
            .title = optional(json, "title", &Decoder::text),
            .settings = optional(json, "settings", &Decoder::metas)
                            .value_or(std::vector<SettingsSchema::Meta>{}),
        };
    }

    std::vector<SettingsSchema::Meta> metas(const Json& json) {
        return list(json, "Meta", &Decoder::meta);
    }
    std::vector<SettingsSchema::GroupEntry> groupEntries(const Json& json) {
        return list(json, "GroupEntry", &Decoder::groupEntry);
    }
};

} // namespace

std::string SettingSpec::label() const {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto dash = name.find('-', start);
        const auto end = dash == std::string::npos ? name.size() : dash;
        if (end > start)
            pieces.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    if (pieces.empty())
        return name;

    // Upper-case the first code point only, as full Unicode case mapping.
    std::string& first = pieces.front();
    std::int32_t length = 0;
    UChar32 codePoint = 0;
    U8_NEXT(first.data(), length, static_cast<std::int32_t>(first.size()), codePoint);
    std::string upper;
    if (codePoint >= 0)
        icu::UnicodeString(codePoint).toUpper().toUTF8String(upper);
    else
        upper = first.substr(0, static_cast<std::size_t>(length));
    std::string label = upper + first.substr(static_cast<std::size_t>(length));
    for (std::size_t i = 1; i < pieces.size(); ++i)
        label += " " + pieces[i];
    return label;
}

SettingsSchema SettingsSchema::decode(std::string_view data) {
    return Decoder().schema(JSONText::parse(data));
}

SettingSpec SettingsSchema::merge(const Meta& meta, const Property* property) {
    const Items* items = property && property->items ? &*property->items : nullptr;
    SettingSpec spec{
        .name = meta.name,
        .group = meta.group.value_or(""),
        .control = SettingControl::fromName(meta.control.value_or("")),
        .help = meta.help.value_or(""),
        .restart = meta.restart.value_or(true),
        .min = meta.min   ? meta.min
               : property ? property->minimum
                          : std::nullopt,
        .max = meta.max   ? meta.max
               : property ? property->maximum
                          : std::nullopt,
        .integer = meta.integer.value_or(property && property->type == "integer"),
        .multiple = meta.multiple.value_or(false),
        .multiline = meta.multiline.value_or(false),
        .requiredPrefix = meta.requiredPrefix,
        .itemPattern = meta.itemPattern ? meta.itemPattern
                       : items          ? items->pattern
                                        : std::nullopt,
        .pattern = property ? property->pattern : std::nullopt,
        .type = property ? property->type : std::nullopt,
        .defaultValue = property ? property->defaultValue : std::nullopt,
    };
    if (meta.values)
        spec.values = *meta.values;
    else if (property && property->enumValues)
        spec.values = *property->enumValues;
    else if (items && items->enumValues)
        spec.values = *items->enumValues;
    return spec;
}

std::vector<SettingSpec> SettingsSchema::settings() const {
    std::vector<SettingSpec> all;
    for (const auto& group : groups)
        all.insert(all.end(), group.settings.begin(), group.settings.end());
    return all;
}

std::optional<SettingSpec> SettingsSchema::setting(std::string_view named) const {
    for (const auto& group : groups)
        for (const auto& spec : group.settings)
            if (spec.name == named)
                return spec;
    return std::nullopt;
}

} // namespace menubar
