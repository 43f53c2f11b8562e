#include "StatusDecoder.hpp"

#include <cmath>

#include "system/Paths.hpp"
#include "json/JSONText.hpp"

namespace menubar {

namespace StatusDecoder {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

constexpr bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int daysInMonth(int year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool digits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (pos_ >= text_.size() || text_[pos_] < '0' || text_[pos_] > '9')
                return false;
            value = value * 10 + (text_[pos_++] - '0');
        }
        return true;
    }
    bool literal(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool literalAnyCase(char upper) {
        return literal(upper) || literal(static_cast<char>(upper - 'A' + 'a'));
    }
    std::optional<char> peek() const {
        return pos_ < text_.size() ? std::optional<char>(text_[pos_]) : std::nullopt;
    }
    void advance() { ++pos_; }
    bool atEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

std::optional<Instant> parseDate(std::string_view text) {
    Scanner scan(text);
    int year, month, day, hour, minute, second;
    if (!scan.digits(4, year) || !scan.literal('-') || !scan.digits(2, month) ||
        !scan.literal('-') || !scan.digits(2, day) || !scan.literalAnyCase('T') ||
        !scan.digits(2, hour) || !scan.literal(':') || !scan.digits(2, minute) ||
        !scan.literal(':') || !scan.digits(2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;

    std::int64_t micros = 0;
    if (scan.literal('.')) {
        int count = 0;
        std::int64_t scale = 100000;
        while (scan.peek() && *scan.peek() >= '0' && *scan.peek() <= '9') {
            if (scale > 0) {
                micros += (*scan.peek() - '0') * scale;
                scale /= 10;
            }
            scan.advance();
            ++count;
        }
        if (count == 0)
            return std::nullopt;
    }

    int offsetSeconds = 0;
    if (!scan.literalAnyCase('Z')) {
        int sign = 0;
        if (scan.literal('+'))
            sign = 1;
        else if (scan.literal('-'))
            sign = -1;
        else
            return std::nullopt;
        int offsetHours, offsetMinutes;
        if (!scan.digits(2, offsetHours) || !scan.literal(':') || !scan.digits(2, offsetMinutes) ||
            offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    if (!scan.atEnd())
        return std::nullopt;

    const std::int64_t seconds =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
        hour * 3600 + minute * 60 + second - offsetSeconds;
    return Instant(std::chrono::microseconds(seconds * 1000000 + micros));
}

namespace {

// Walks a parsed document with the key path in hand, so every failure can say
// exactly where it happened.
class Decoder : public JSONReader<Decoder> {
public:
    StatusFile statusFile(const Json& json) {
        // A document that is only `null` lacks the one value every status file
        // needs, as a null where a record is required does.
        if (json.isNull())
            fail(DecodingError::Kind::valueNotFound, "StatusFile");
        requireObject(json, "StatusFile");
        StatusFile file;
        file.version = optional(json, "version", &Decoder::integer);
        file.daemonPid = optional(json, "daemonPid", &Decoder::integer);
        file.startedAt = optional(json, "startedAt", &Decoder::date);
        file.at = optional(json, "at", &Decoder::date);
        file.stoppedAt = optional(json, "stoppedAt", &Decoder::date);
        file.intervalMs = optional(json, "intervalMs", &Decoder::integer);
        file.config = optional(json, "config", &Decoder::config);
        file.configFile = optional(json, "configFile", &Decoder::configFile);
        file.configSources = optional(json, "configSources", &Decoder::configSources);
        file.configError = optional(json, "configError", &Decoder::configError);
        file.sessions =
            optional(json, "sessions", &Decoder::sessions).value_or(std::vector<SessionStatus>{});
        file.events =
            optional(json, "events", &Decoder::events).value_or(std::vector<TessalyEvent>{});
        return file;
    }

private:
    Instant date(const Json& json) {
        const std::string raw = text(json);
        if (const auto instant = parseDate(raw))
            return *instant;
        corrupted("Unrecognised ISO-8601 date: " + raw);
    }

    template <class E> E enumeration(const Json& json) { return enumFrom<E>(text(json)); }

    JSONObject settings(const Json& json) {
        requireObject(json, "Object");
        try {
            return *JSONValue::from(json).objectValue();
        } catch (const JSONError& error) {
            corrupted(error.what());
        }
    }

    TessalyConfig config(const Json& json) {
        requireObject(json, "TessalyConfig");
        return TessalyConfig{
            .warnContextPct = optional(json, "warnContextPct", &Decoder::number),
            .criticalContextPct = optional(json, "criticalContextPct", &Decoder::number),
            .cacheMinContextPct = optional(json, "cacheMinContextPct", &Decoder::number),
            .cacheLeadMs = optional(json, "cacheLeadMs", &Decoder::integer),
            .messageAgents = optional(json, "messageAgents", &Decoder::flag),
            .dryRun = optional(json, "dryRun", &Decoder::flag),
            .onCritical = optional(json, "onCritical", &Decoder::texts),
            .onCacheExpiry = optional(json, "onCacheExpiry", &Decoder::texts),
            .settings = optional(json, "settings", &Decoder::settings),
        };
    }

    ConfigFileStatus configFile(const Json& json) {
        requireObject(json, "ConfigFileStatus");
        return ConfigFileStatus{
            .path = optional(json, "path", &Decoder::text),
            .loadedAt = optional(json, "loadedAt", &Decoder::date),
            .changedSinceLoad = optional(json, "changedSinceLoad", &Decoder::flag),
        };
    }

    std::map<std::string, ConfigSource> configSources(const Json& json) {
        requireObject(json, "Object");
        std::map<std::string, ConfigSource> sources;
        for (const auto& [key, value] : json.members()) {
            path_.emplace_back(key);
            if (value.isNull())
                fail(DecodingError::Kind::valueNotFound, "String");
            sources.insert_or_assign(std::string(key), enumeration<ConfigSource>(value));
            path_.pop_back();
        }
        return sources;
    }

    ConfigError configError(const Json& json) {
        requireObject(json, "ConfigError");
        return ConfigError{
            .message = optional(json, "message", &Decoder::text),
            .path = optional(json, "path", &Decoder::text),
            .at = optional(json, "at", &Decoder::date),
        };
    }

    SessionHandoff handoff(const Json& json) {
        requireObject(json, "SessionHandoff");
        return SessionHandoff{
            .path = optional(json, "path", &Decoder::text).value_or(""),
            .writtenAt = optional(json, "writtenAt", &Decoder::date),
            .location = optional(json, "location", &Decoder::enumeration<HandoffLocation>)
                            .value_or(HandoffLocation::unknown),
        };
    }

    SessionStatus session(const Json& json) {
        requireObject(json, "SessionStatus");
        return SessionStatus{
            .provider = optional(json, "provider", &Decoder::text),
            .sessionId = optional(json, "sessionId", &Decoder::text),
            .shortId = optional(json, "shortId", &Decoder::text),
            .cwd = optional(json, "cwd", &Decoder::text),
            .dirName = optional(json, "dirName", &Decoder::text),
            .model = optional(json, "model", &Decoder::text),
            .contextTokens = optional(json, "contextTokens", &Decoder::integer),
            .contextWindow = optional(json, "contextWindow", &Decoder::integer),
            .contextPct = optional(json, "contextPct", &Decoder::number),
            .level = optional(json, "level", &Decoder::enumeration<SessionLevel>)
                         .value_or(SessionLevel::unknown),
            .lifecycle = optional(json, "lifecycle", &Decoder::enumeration<SessionLifecycle>)
                             .value_or(SessionLifecycle::unknown),
            .source = optional(json, "source", &Decoder::enumeration<SessionSource>)
                          .value_or(SessionSource::unknown),
            .lastActivityAt = optional(json, "lastActivityAt", &Decoder::date),
            .cacheExpiresAt = optional(json, "cacheExpiresAt", &Decoder::date),
            .cacheTtlMs = optional(json, "cacheTtlMs", &Decoder::integer),
            .surfaceId = optional(json, "surfaceId", &Decoder::text),
            .workspaceId = optional(json, "workspaceId", &Decoder::text),
            .currentForSurface = optional(json, "currentForSurface", &Decoder::flag),
            .handoff = optional(json, "handoff", &Decoder::handoff),
        };
    }

    TessalyEvent event(const Json& json) {
        requireObject(json, "TessalyEvent");
        return TessalyEvent{
            .at = optional(json, "at", &Decoder::date),
            .sessionId = optional(json, "sessionId", &Decoder::text),
            .shortId = optional(json, "shortId", &Decoder::text),
            .dirName = optional(json, "dirName", &Decoder::text),
            .kind = optional(json, "kind", &Decoder::enumeration<EventKind>)
                        .value_or(EventKind::unknown),
            .level = optional(json, "level", &Decoder::enumeration<EventLevel>)
                         .value_or(EventLevel::unknown),
            .text = optional(json, "text", &Decoder::text),
            .dryRun = optional(json, "dryRun", &Decoder::flag),
        };
    }

    std::vector<SessionStatus> sessions(const Json& json) {
        return list(json, "SessionStatus", &Decoder::session);
    }
    std::vector<TessalyEvent> events(const Json& json) {
        return list(json, "TessalyEvent", &Decoder::event);
    }
};

} // namespace

StatusFile decode(std::string_view bytes) {
    std::optional<JSONTape> json;
    try {
        json = JSONText::parse(bytes);
    } catch (const JSONError& error) {
        throw DecodingError(DecodingError::Kind::dataCorrupted, "", {}, error.what());
    }
    return Decoder().statusFile(json->root());
}

std::string describe(const DecodingError& error) {
    switch (error.kind) {
    case DecodingError::Kind::typeMismatch:
        return "type mismatch (" + error.typeName + ") at " + error.joinedPath();
    case DecodingError::Kind::valueNotFound:
        return "missing value (" + error.typeName + ") at " + error.joinedPath();
    case DecodingError::Kind::keyNotFound:
        return "missing key " + error.typeName;
    case DecodingError::Kind::dataCorrupted:
        return error.description;
    }
    return error.description;
}

} // namespace StatusDecoder

const StatusFile* StatusSnapshot::file() const {
    if (const auto* loaded = std::get_if<Loaded>(&value_))
        return &loaded->file;
    return nullptr;
}

namespace StatusFileLocator {

std::string path(const std::map<std::string, std::string>& environment, const std::string& home) {
    if (const auto found = environment.find(std::string(environmentKey));
        found != environment.end() && !found->second.empty())
        return Paths::expandTilde(found->second, home);
    return home + "/.local/state/tessaly/status.json";
}

StatusSnapshot load(const std::string& path, const FileSystem& fileSystem) {
    if (!fileSystem.exists(path))
        return StatusSnapshot::missing();
    return snapshot(fileSystem.readFile(path, sizeLimit));
}

StatusSnapshot snapshot(const FileReadResult& read) {
    if (const auto* error = std::get_if<FileReadError>(&read))
        return StatusSnapshot::unreadable(error->message);
    if (const auto* tooLarge = std::get_if<FileTooLarge>(&read))
        return StatusSnapshot::unreadable("status file is too large (" +
                                          std::to_string(tooLarge->size) +
                                          " bytes; the limit is 16 MiB)");
    try {
        return StatusSnapshot::loaded(StatusDecoder::decode(std::get<std::string>(read)));
    } catch (const DecodingError& error) {
        return StatusSnapshot::unreadable(StatusDecoder::describe(error));
    }
}

} // namespace StatusFileLocator

} // namespace menubar
