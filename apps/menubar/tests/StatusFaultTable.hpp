#pragma once

// Every key of every record of the status file with the JSON it takes, and from
// that one table: a document that holds every key, and for each key every value
// of a JSON type the key does not take, with the reason the user must see. A key
// the daemon adds is one row here; both the decoder's and the tray's fault tests
// pick it up.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace menubar::faults {

using Json = nlohmann::json;

enum class Shape {
    text,    // a string
    date,    // a string holding a timestamp
    choice,  // a string naming an enumeration case
    integer, // a number without a fraction
    number,  // any number
    flag,    // true or false
    texts,   // an array of strings
    choices, // an object whose values are choice strings
    values,  // an object of any JSON values
    record,  // an object decoded as the record named in `type`
    records, // an array of such objects
};

struct Key {
    std::string name;
    Shape shape;
    std::string type = {}; // the nested record's name, for record and records
};

struct Record {
    std::string name;
    std::string path; // where the record sits in the document, keys joined with "."
    std::vector<Key> keys;
};

// Keys of one shape, so that a record reads as a few lines; `type` names the
// nested record of record and records keys.
struct Keys {
    Shape shape;
    std::vector<std::string> names;
    std::string type = {};
};

inline Record grouped(std::string name, std::string path, const std::vector<Keys>& groups) {
    Record made{std::move(name), std::move(path), {}};
    for (const Keys& group : groups)
        for (const std::string& key : group.names)
            made.keys.push_back({key, group.shape, group.type});
    return made;
}

// Each array holds two elements and the faults go into the second, so a reason
// must name the right position.
inline const std::vector<Record>& statusRecords() {
    using S = Shape;
    static const std::vector<Record> records = {
        grouped("StatusFile", "",
                {{S::integer, {"version", "daemonPid", "intervalMs"}},
                 {S::date, {"startedAt", "at", "stoppedAt"}},
                 {S::record, {"config"}, "TessalyConfig"},
                 {S::record, {"configFile"}, "ConfigFileStatus"},
                 {S::choices, {"configSources"}},
                 {S::record, {"configError"}, "ConfigError"},
                 {S::records, {"sessions"}, "SessionStatus"},
                 {S::records, {"events"}, "TessalyEvent"}}),
        grouped("TessalyConfig", "config",
                {{S::number, {"warnContextPct", "criticalContextPct", "cacheMinContextPct"}},
                 {S::integer, {"cacheLeadMs"}},
                 {S::flag, {"messageAgents", "dryRun"}},
                 {S::texts, {"onCritical", "onCacheExpiry"}},
                 {S::values, {"settings"}}}),
        grouped("ConfigFileStatus", "configFile",
                {{S::text, {"path"}}, {S::date, {"loadedAt"}}, {S::flag, {"changedSinceLoad"}}}),
        grouped("ConfigError", "configError", {{S::text, {"message", "path"}}, {S::date, {"at"}}}),
        grouped("SessionStatus", "sessions.1",
                {{S::text,
                  {"provider", "sessionId", "shortId", "cwd", "dirName", "model", "surfaceId",
                   "workspaceId"}},
                 {S::integer, {"contextTokens", "contextWindow", "cacheTtlMs"}},
                 {S::number, {"contextPct"}},
                 {S::choice, {"level", "lifecycle", "source"}},
                 {S::date, {"lastActivityAt", "cacheExpiresAt"}},
                 {S::flag, {"currentForSurface"}},
                 {S::record, {"handoff"}, "SessionHandoff"}}),
        grouped("SessionHandoff", "sessions.1.handoff",
                {{S::text, {"path"}}, {S::date, {"writtenAt"}}, {S::choice, {"location"}}}),
        grouped("TessalyEvent", "events.1",
                {{S::date, {"at"}},
                 {S::text, {"sessionId", "shortId", "dirName", "text"}},
                 {S::choice, {"kind", "level"}},
                 {S::flag, {"dryRun"}}})};
    return records;
}

inline const Record& recordNamed(const std::string& name) {
    for (const Record& record : statusRecords())
        if (record.name == name)
            return record;
    throw std::logic_error("no record " + name);
}

// Per shape, in the order Shape lists them: the name the decoder's reasons give
// its type, the JSON type it takes, and a value it takes. Texts carry "&", an
// escape and characters of two, three and four bytes, so a cut anywhere in them
// is tried too; records build their value from the nested record.
struct ShapeTraits {
    std::string typeName;
    bool (Json::*takes)() const noexcept;
    Json valid;
};

inline const ShapeTraits& traits(Shape shape) {
    static const ShapeTraits table[] = {
        {"String", &Json::is_string, "web & docs \"naïve\" ✓ 🚀"},
        {"String", &Json::is_string, "2025-06-01T11:59:55.250+02:00"},
        {"String", &Json::is_string, "warn"},
        {"Int", &Json::is_number_integer, 42},
        {"Double", &Json::is_number, 72.5},
        {"Bool", &Json::is_boolean, true},
        {"Array", &Json::is_array, Json::array({"notify", "handoff"})},
        {"Object", &Json::is_object, Json{{"warn-context", "cli"}, {"mode", "file"}}},
        {"Object", &Json::is_object,
         Json{{"a", 1}, {"b", Json::array({true, nullptr, 2.5})}, {"c", {{"d", "e"}}}}},
        {"", &Json::is_object, nullptr},
        {"Array", &Json::is_array, nullptr}};
    return table[static_cast<std::size_t>(shape)];
}

inline bool takes(Shape shape, const Json& value) {
    return (value.*traits(shape).takes)();
}

inline std::string typeName(const Key& key) {
    return key.shape == Shape::record ? key.type : traits(key.shape).typeName;
}

inline Json validValue(const Key& key) {
    if (key.shape == Shape::records) {
        const Json element = validValue(Key{key.name, Shape::record, key.type});
        return Json::array({element, element});
    }
    if (key.shape != Shape::record)
        return traits(key.shape).valid;
    // A key this app does not know yet, in every record, must change nothing.
    Json object = {{"brandNew", {{"deep", {true}}}}};
    for (const Key& inner : recordNamed(key.type).keys)
        object[inner.name] = validValue(inner);
    return object;
}

// The document with every key of every record present and valid, and one unknown.
inline Json fullDocument() {
    return validValue(Key{"", Shape::record, "StatusFile"});
}

struct Fault {
    std::string pointer; // where the wrong value goes, as a JSON pointer
    Json value;
    std::string reason;
};

inline std::string joined(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

inline std::string pointerTo(const std::string& dotted) {
    std::string pointer = dotted.empty() ? "" : "/" + dotted;
    std::replace(pointer.begin(), pointer.end(), '.', '/');
    return pointer;
}

// Every key given every JSON type it does not take (null, which every key takes as
// absent, aside); the elements of arrays and maps given a wrong type and null; a
// date that does not parse; and the whole document as something other than an object,
// null among them.
inline std::vector<Fault> statusFaults() {
    const std::vector<Json> samples = {"7", 7, 72.5, true, Json::array(), Json::object()};
    std::vector<Fault> faults;
    const auto mismatch = [&](const std::string& at, const Key& key, const Json& value) {
        faults.push_back({pointerTo(at), value, "type mismatch (" + typeName(key) + ") at " + at});
    };
    for (const Json& value : samples)
        if (!value.is_object())
            faults.push_back({"", value, "type mismatch (StatusFile) at "});
    faults.push_back({"", nullptr, "missing value (StatusFile) at "});

    for (const Record& record : statusRecords()) {
        for (const Key& key : record.keys) {
            const std::string at = joined(record.path, key.name);
            for (const Json& value : samples)
                if (!takes(key.shape, value))
                    mismatch(at, key, value);
            if (key.shape == Shape::date)
                faults.push_back({pointerTo(at), "noon", "Unrecognised ISO-8601 date: noon"});
            if (key.shape != Shape::texts && key.shape != Shape::choices &&
                key.shape != Shape::records)
                continue;
            const std::string element = at + (key.shape == Shape::choices ? ".mode" : ".1");
            const Key inner{"", key.shape == Shape::records ? Shape::record : Shape::text,
                            key.type};
            mismatch(element, inner, inner.shape == Shape::record ? Json("x") : Json(7));
            faults.push_back({pointerTo(element), nullptr,
                              "missing value (" + typeName(inner) + ") at " + element});
        }
    }
    return faults;
}

// The full document with one fault in it, as the daemon would lay it out.
inline std::string withFault(const Fault& fault) {
    Json document = fullDocument();
    document[Json::json_pointer(fault.pointer)] = fault.value;
    return document.dump(2);
}

} // namespace menubar::faults
