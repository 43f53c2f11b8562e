#pragma once

// Finding, reading and decoding the daemon's status file.
//
// Decoding is tolerant of version skew and strict about types: missing keys and
// null are absent, unknown keys are ignored, unknown enumeration strings become
// `unknown`, and a present value of the wrong JSON type (or a date that does not
// parse) fails the whole document. No partial StatusFile is ever produced.

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Models.hpp"
#include "system/FileSystem.hpp"
#include "json/JSONReader.hpp"

namespace menubar {

// Why a status document could not be decoded is a DecodingError; the reason
// shown to the user is StatusDecoder::describe of it.

namespace StatusDecoder {

// RFC 3339 internet date-time, with or without fractional seconds, "Z" or a
// ±hh:mm offset; absent for anything else. Keeps microsecond precision; further fraction digits are
// dropped.
std::optional<Instant> parseDate(std::string_view text);

// Bytes → StatusFile; throws DecodingError.
StatusFile decode(std::string_view bytes);

// The one-line reason for the user: "type mismatch (String) at sessions.0.level",
// "missing value (SessionStatus) at sessions.1", "missing key x", or a
// data-corrupted description alone.
std::string describe(const DecodingError& error);

} // namespace StatusDecoder

// What one read of the status file found.
class StatusSnapshot {
public:
    struct Missing {
        bool operator==(const Missing&) const = default;
    };
    struct Unreadable {
        std::string reason;
        bool operator==(const Unreadable&) const = default;
    };
    struct Loaded {
        StatusFile file;
        bool operator==(const Loaded&) const = default;
    };
    using Value = std::variant<Missing, Unreadable, Loaded>;

    StatusSnapshot() = default; // missing
    static StatusSnapshot missing() { return StatusSnapshot(); }
    static StatusSnapshot unreadable(std::string reason) {
        return StatusSnapshot(Unreadable{std::move(reason)});
    }
    static StatusSnapshot loaded(StatusFile file) {
        return StatusSnapshot(Loaded{std::move(file)});
    }

    // The decoded file of a loaded snapshot; null for the other cases.
    const StatusFile* file() const;
    const Value& value() const { return value_; }

    bool operator==(const StatusSnapshot&) const = default;

private:
    explicit StatusSnapshot(Value value) : value_(std::move(value)) {}
    Value value_;
};

namespace StatusFileLocator {

inline constexpr std::string_view environmentKey = "TESSALY_STATUS_FILE";

// The poll reads synchronously on the main thread every few seconds; anything
// bigger than this is refused unread rather than freezing the app.
inline constexpr std::uint64_t sizeLimit = 16u * 1024u * 1024u;

// TESSALY_STATUS_FILE (tilde-expanded, otherwise unchanged) when set and not
// empty; else home + "/.local/state/tessaly/status.json".
std::string path(const std::map<std::string, std::string>& environment, const std::string& home);

// Never fails: nothing at the path is `missing`, every other failure `unreadable`.
StatusSnapshot load(const std::string& path, const FileSystem& fileSystem);

// What one read of an existing file means, wherever its bytes came from (this
// disk or another machine's): the one interpretation of a status file.
StatusSnapshot snapshot(const FileReadResult& read);

} // namespace StatusFileLocator

} // namespace menubar
