#pragma once

// The editable state of the daemon's config file while the settings window is
// open: one typed, locally validated field per setting of the schema, in schema
// order, and every other key of the file carried along untouched. The form reads
// no file and writes none: it is given the file's object and produces the bytes of
// the new file.
//
// A file value that does not fit its control never stops loading and is never
// dropped: the field shows the default, carries a "The file holds ..." message,
// and writes the raw value back until the user edits or resets that setting.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SettingsSchema.hpp"
#include "status/Models.hpp"
#include "json/JSONValue.hpp"

namespace menubar {

class SettingValue {
public:
    enum class Kind { boolean, number, text, list };

    SettingValue() : SettingValue(Storage(std::string())) {} // empty text
    static SettingValue boolean(bool value) { return SettingValue(Storage(value)); }
    static SettingValue number(double value) { return SettingValue(Storage(value)); }
    static SettingValue text(std::string value) { return SettingValue(Storage(std::move(value))); }
    static SettingValue list(std::vector<std::string> items) {
        return SettingValue(Storage(std::move(items)));
    }

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    std::optional<bool> boolValue() const;
    std::optional<double> numberValue() const;
    std::optional<std::string> textValue() const;
    std::optional<std::vector<std::string>> listValue() const;
    // Only an empty text or list is empty; it means "leave the key out", but
    // for a list whose default is not empty (SettingField::counts).
    bool isEmpty() const;

    // A file value read for the spec's control; nothing when it does not fit.
    // For a control the app does not know, the value as one line of text that
    // `json` turns back into the same value: JSON other than strings as compact
    // JSON, a string as its own text unless that text is itself JSON, in which
    // case the string is shown quoted.
    static std::optional<SettingValue> from(const JSONValue& json, const SettingSpec& spec);
    // The value as the file holds it for the spec's control.
    JSONValue json(const SettingSpec& spec) const;

    bool operator==(const SettingValue&) const = default;

private:
    using Storage = std::variant<bool, double, std::string, std::vector<std::string>>;
    explicit SettingValue(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

enum class ValueSource { file, default_ };

struct SettingField {
    SettingSpec spec;
    SettingValue value;
    bool isSet = false; // false: the key is left out and the daemon uses its default
    ValueSource source = ValueSource::default_;
    std::optional<std::string> error;
    std::optional<JSONValue> unreadableFileValue;
    bool isLockedByFlag = false;
    SettingValue loadedValue;
    bool loadedIsSet = false;
    // `error` came from the daemon's validation of the last candidate file.
    bool errorIsDaemons = false;

    // `fileValue` is the file's value under the setting's name, or nothing.
    static SettingField load(const SettingSpec& spec, const std::optional<JSONValue>& fileValue);
    static SettingValue defaultValue(const SettingSpec& spec);
    // Whether the value would be written: any value but an empty text or list,
    // and an empty list too where the default is not empty (the user emptied it
    // on purpose, and leaving the key out would bring the default back).
    static bool counts(const SettingValue& value, const SettingSpec& spec);

    const std::string& name() const { return spec.name; }
    bool isDirty() const;
    // The text the user edits: without the spec's required prefix (and one blank after it).
    std::string editableText() const;
    // The schema's default as one line, or empty.
    std::string defaultText() const;
    // What the new file holds under the name; nothing leaves the key out.
    std::optional<JSONValue> serializedValue() const;
    // The field's own judgement of its value: the unreadable file value's
    // message, else the local validation of a set value, else none.
    std::optional<std::string> localError() const;

    bool operator==(const SettingField&) const = default;
};

class SettingsFormError : public std::runtime_error {
public:
    enum class Kind { notAnObject };
    explicit SettingsFormError(Kind kind);
    Kind kind;
};

class SettingsForm {
public:
    static constexpr std::string_view schemaKey = "$schema";

    // The config file's bytes → its top-level object. Throws JSONError for text
    // that is not JSON, SettingsFormError for JSON that is not an object.
    static JSONObject parseFile(std::string_view data);

    // `file` is the file's object; an empty one when there is no file.
    SettingsForm(SettingsSchema schema, const JSONObject& file);

    const SettingsSchema& schema() const { return schema_; }
    const std::vector<SettingField>& fields() const { return fields_; }
    // The group's settings, in its order, each as the first field of that name.
    std::vector<SettingField> fields(const SettingsGroup& group) const;
    // Every key of the file that names no setting, untouched.
    const JSONObject& passthrough() const { return passthrough_; }

    const SettingField* field(std::string_view name) const;
    // The passthrough keys other than "$schema", in ascending order.
    std::vector<std::string> unknownKeys() const;

    // Edits act on the first field of the name; an unknown name is ignored.
    // The daemon judged the file as it was before the edit, so each edit also
    // turns every error the daemon reported back into its field's local one.
    void set(std::string_view name, const SettingValue& value);
    void setEditableText(std::string_view name, const std::string& text);
    void reset(std::string_view name);
    void applySources(const std::map<std::string, ConfigSource>& sources);
    // The daemon's messages for the candidate file, by setting name.
    void applyErrors(const std::map<std::string, std::string>& errors);
    void markSaved();

    bool isDirty() const;
    bool isValid() const;
    std::map<std::string, std::string> errors() const;

    JSONValue serialized() const;
    // The new file: pretty JSON with sorted keys and a final line feed. Throws
    // JSONError when a number cannot be written.
    std::string serializedData() const;

    // The first failing local check's message, or nothing.
    static std::optional<std::string> validate(const SettingValue& value, const SettingSpec& spec);

    bool operator==(const SettingsForm&) const = default;

private:
    SettingField* mutableField(std::string_view name);
    void dropDaemonErrors();

    SettingsSchema schema_;
    std::vector<SettingField> fields_;
    JSONObject passthrough_;
};

} // namespace menubar
