#include "SettingsSchema.hpp"

#include <cmath>

#include "system/UnicodeText.hpp"
#include "json/JSONReader.hpp"
#include "json/JSONText.hpp"

namespace menubar {

namespace {

// Walks the parsed document with the key path in hand, so a failure says where.
class Decoder : public JSONReader<Decoder> {
public:
    SettingsSchema schema(const Json& json) {
        requireObject(json, "Object");
        SettingsSchema schema;
        schema.version = optional(json, "x-settings-version", &Decoder::integer).value_or(1);

        std::map<std::string, SettingsSchema::Property> properties;
        if (const std::optional<Json> members = member(json, "properties")) {
            path_.emplace_back("properties");
            requireObject(*members, "Object");
            for (const auto& [key, value] : members->members()) {
                if (value.isNull())
                    continue;
                path_.emplace_back(key);
                properties.insert_or_assign(std::string(key), property(value));
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
    JSONValue anyValue(const Json& json) {
        try {
            return JSONValue::from(json);
        } catch (const JSONError& error) {
            corrupted(error.what());
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

    std::string label = UnicodeText::capitalisedFirst(pieces.front());
    for (std::size_t i = 1; i < pieces.size(); ++i)
        label += " " + pieces[i];
    return label;
}

SettingsSchema SettingsSchema::decode(std::string_view data) {
    const JSONTape json = JSONText::parse(data);
    try {
        return Decoder().schema(json.root());
    } catch (const DecodingError& error) {
        // One line that says what and where, for the settings window's failure detail.
        const std::string path = error.path.empty() ? "top level" : error.joinedPath();
        switch (error.kind) {
        case DecodingError::Kind::typeMismatch:
            throw JSONError("type mismatch (" + error.typeName + ") at " + path);
        case DecodingError::Kind::valueNotFound:
            throw JSONError("missing value (" + error.typeName + ") at " + path);
        case DecodingError::Kind::keyNotFound:
            throw JSONError("missing key " + error.typeName + " at " + path);
        case DecodingError::Kind::dataCorrupted:
            break;
        }
        throw JSONError(error.description + " at " + path);
    }
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
