#pragma once

// Every key of every record of the status file with the JSON it takes, and from
// that one table: a document that holds every key, and for each key every value
// of a JSON type the key does not take, with the reason the user must see. A key
// the daemon adds is one row here; both the decoder's and the tray's fault tests
// pick it up.

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

// Each array holds two elements and the faults go into the second, so a reason
// must name the right position.
inline const std::vector<Record>& statusRecords() {
    static const std::vector<Record> records = {
        {"StatusFile",
         "",
         {{"version", Shape::integer},
          {"daemonPid", Shape::integer},
          {"startedAt", Shape::date},
          {"at", Shape::date},
          {"stoppedAt", Shape::date},
          {"intervalMs", Shape::integer},
          {"config", Shape::record, "TessalyConfig"},
          {"configFile", Shape::record, "ConfigFileStatus"},
          {"configSources", Shape::choices},
          {"configError", Shape::record, "ConfigError"},
          {"sessions", Shape::records, "SessionStatus"},
          {"events", Shape::records, "TessalyEvent"}}},
        {"TessalyConfig",
         "config",
         {{"warnContextPct", Shape::number},
          {"criticalContextPct", Shape::number},
          {"cacheMinContextPct", Shape::number},
          {"cacheLeadMs", Shape::integer},
          {"messageAgents", Shape::flag},
          {"dryRun", Shape::flag},
          {"onCritical", Shape::texts},
          {"onCacheExpiry", Shape::texts},
          {"settings", Shape::values}}},
        {"ConfigFileStatus",
         "configFile",
         {{"path", Shape::text}, {"loadedAt", Shape::date}, {"changedSinceLoad", Shape::flag}}},
        {"ConfigError",
         "configError",
         {{"message", Shape::text}, {"path", Shape::text}, {"at", Shape::date}}},
        {"SessionStatus",
         "sessions.1",
         {{"provider", Shape::text},
          {"sessionId", Shape::text},
          {"shortId", Shape::text},
          {"cwd", Shape::text},
          {"dirName", Shape::text},
          {"model", Shape::text},
          {"contextTokens", Shape::integer},
          {"contextWindow", Shape::integer},
          {"contextPct", Shape::number},
          {"level", Shape::choice},
          {"lifecycle", Shape::choice},
          {"source", Shape::choice},
          {"lastActivityAt", Shape::date},
          {"cacheExpiresAt", Shape::date},
          {"cacheTtlMs", Shape::integer},
          {"surfaceId", Shape::text},
          {"workspaceId", Shape::text},
          {"currentForSurface", Shape::flag},
          {"handoff", Shape::record, "SessionHandoff"}}},
        {"SessionHandoff",
         "sessions.1.handoff",
         {{"path", Shape::text}, {"writtenAt", Shape::date}, {"location", Shape::choice}}},
        {"TessalyEvent",
         "events.1",
         {{"at", Shape::date},
          {"sessionId", Shape::text},
          {"shortId", Shape::text},
          {"dirName", Shape::text},
          {"kind", Shape::choice},
          {"level", Shape::choice},
          {"text", Shape::text},
          {"dryRun", Shape::flag}}},
    };
    return records;
}

inline const Record& recordNamed(const std::string& name) {
    for (const Record& record : statusRecords())
        if (record.name == name)
            return record;
    throw std::logic_error("no record " + name);
}

// A value the key takes. Texts carry "&", a tab-free escape and characters of
// two, three and four bytes, so a cut anywhere in them is tried too.
inline Json validValue(const Key& key) {
    switch (key.shape) {
    case Shape::text:
        return "web & docs \"naïve\" ✓ 🚀";
    case Shape::date:
        return "2025-06-01T11:59:55.250+02:00";
    case Shape::choice:
        return "warn";
    case Shape::integer:
        return 42;
    case Shape::number:
        return 72.5;
    case Shape::flag:
        return true;
    case Shape::texts:
        return Json::array({"notify", "handoff"});
    case Shape::choices:
        return Json{{"warn-context", "cli"}, {"mode", "file"}};
    case Shape::values:
        return Json{{"a", 1}, {"b", Json::array({true, nullptr, 2.5})}, {"c", {{"d", "e"}}}};
    case Shape::record: {
        Json object = Json::object();
        for (const Key& inner : recordNamed(key.type).keys)
            object[inner.name] = validValue(inner);
        return object;
    }
    case Shape::records: {
        const Json element = validValue(Key{key.name, Shape::record, key.type});
        return Json::array({element, element});
    }
    }
    return nullptr;
}

// The document with every key of every record present and valid.
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
    for (char& c : pointer)
        if (c == '.')
            c = '/';
    return pointer;
}

// One value of each JSON type but null, which every key takes as absent.
inline std::vector<Json> samplesOfEachType() {
    return {Json("7"), Json(7), Json(72.5), Json(true), Json::array(), Json::object()};
}

inline bool takes(Shape shape, const Json& value) {
    switch (shape) {
    case Shape::text:
    case Shape::date:
    case Shape::choice:
        return value.is_string();
    case Shape::integer:
        return value.is_number_integer();
    case Shape::number:
        return value.is_number();
    case Shape::flag:
        return value.is_boolean();
    case Shape::texts:
    case Shape::records:
        return value.is_array();
    case Shape::choices:
    case Shape::values:
    case Shape::record:
        return value.is_object();
    }
    return false;
}

inline std::string typeName(const Key& key) {
    switch (key.shape) {
    case Shape::text:
    case Shape::date:
    case Shape::choice:
        return "String";
    case Shape::integer:
        return "Int";
    case Shape::number:
        return "Double";
    case Shape::flag:
        return "Bool";
    case Shape::texts:
    case Shape::records:
        return "Array";
    case Shape::choices:
    case Shape::values:
        return "Object";
    case Shape::record:
        return key.type;
    }
    return "";
}

// Every key given every JSON type it does not take; the elements of arrays and
// maps given a wrong type and null; a date that does not parse; and the whole
// document as something other than an object.
inline std::vector<Fault> statusFaults() {
    std::vector<Fault> faults;
    const auto mismatch = [&](const std::string& at, const Key& key, const Json& value) {
        faults.push_back({pointerTo(at), value, "type mismatch (" + typeName(key) + ") at " + at});
    };
    for (const Json& value : samplesOfEachType())
        if (!value.is_object())
            faults.push_back({"", value, "type mismatch (StatusFile) at "});

    for (const Record& record : statusRecords()) {
        for (const Key& key : record.keys) {
            const std::string at = joined(record.path, key.name);
            for (const Json& value : samplesOfEachType())
                if (!takes(key.shape, value))
                    mismatch(at, key, value);
            switch (key.shape) {
            case Shape::date:
                faults.push_back({pointerTo(at), "noon", "Unrecognised ISO-8601 date: noon"});
                break;
            case Shape::texts:
                mismatch(at + ".1", Key{"", Shape::text}, 7);
                faults.push_back(
                    {pointerTo(at + ".1"), nullptr, "missing value (String) at " + at + ".1"});
                break;
            case Shape::choices:
                mismatch(at + ".mode", Key{"", Shape::choice}, 7);
                faults.push_back({pointerTo(at + ".mode"), nullptr,
                                  "missing value (String) at " + at + ".mode"});
                break;
            case Shape::records:
                mismatch(at + ".1", Key{"", Shape::record, key.type}, "x");
                faults.push_back({pointerTo(at + ".1"), nullptr,
                                  "missing value (" + key.type + ") at " + at + ".1"});
                break;
            default:
                break;
            }
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
