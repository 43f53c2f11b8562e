#pragma once

// Saving the settings: the config file is replaced only with content the daemon
// itself has accepted, only in one rename, and never over a change someone else
// made on disk since the form was loaded. Everything that touches the disk or
// runs a command comes in through SaveEnvironment, so the whole pipeline runs
// against fakes in tests; `SaveEnvironment::files` is the real one.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SettingsForm.hpp"
#include "system/CommandOutcome.hpp"

namespace menubar {

class SaveError : public std::runtime_error {
public:
    enum class Kind { rename, changedOnDisk };

    // "could not move the new file into place: " + the system's text.
    static SaveError rename(const std::string& message);
    // The file on disk is no longer the one the form was loaded from.
    static SaveError changedOnDisk();

    Kind kind;

private:
    SaveError(Kind kind, const std::string& description);
};

struct SaveEnvironment {
    // Runs the daemon's `config validate <path> --json`, blocking. Never throws.
    std::function<CommandOutcome(const std::string& path)> runValidate;
    // Writes a new file that is on stable storage when the call returns. With a
    // mode, the file gets exactly those permission bits (the umask does not
    // apply); without one, the process's usual default. Leaves no partial file
    // behind when it throws.
    std::function<void(const std::string& path, const std::string& bytes,
                       std::optional<std::uint32_t> mode)>
        writeFile;
    // Creates the directory and its missing parents; fine when it exists. Throws.
    std::function<void(const std::string& path)> createDirectory;
    // Replaces `to` with `from` in one step. Throws SaveError::rename.
    std::function<void(const std::string& from, const std::string& to)> rename;
    // Deletes the file; every error is swallowed.
    std::function<void(const std::string& path)> remove;

    // The file a path finally names once every symbolic link on its last
    // component is followed (the path itself when it is no link, or names
    // nothing). Throws when the links cannot be followed.
    std::function<std::string(const std::string& path)> resolveLinks;
    // The permission bits of the file at the path, or nothing when there is none.
    std::function<std::optional<std::uint32_t>(const std::string& path)> permissions;
    // The file's whole content, or nothing when there is no file. Throws when
    // the file exists but cannot be read.
    std::function<std::optional<std::string>(const std::string& path)> readFile;
    // Makes a rename inside the directory durable; every error is swallowed (the
    // new file is already in place by then).
    std::function<void(const std::string& path)> syncDirectory;

    // The real file system; `runValidate` is the caller's.
    static SaveEnvironment files(std::function<CommandOutcome(const std::string&)> runValidate);
};

struct ValidationIssue {
    std::vector<std::string> options; // the config keys concerned, possibly none
    std::string message;
    bool operator==(const ValidationIssue&) const = default;
};

// The daemon's judgement of a candidate file, read from `config validate --json`.
class ValidateOutput {
public:
    class ParseError : public std::runtime_error {
    public:
        enum class Kind { notJSON, unexpectedShape };
        explicit ParseError(Kind kind);
        Kind kind;
    };

    struct Ok {
        bool operator==(const Ok&) const = default;
    };
    struct Invalid {
        std::vector<ValidationIssue> issues;
        bool operator==(const Invalid&) const = default;
    };

    static ValidateOutput ok() { return ValidateOutput(Ok{}); }
    static ValidateOutput invalid(std::vector<ValidationIssue> issues) {
        return ValidateOutput(Invalid{std::move(issues)});
    }

    bool isOk() const { return std::holds_alternative<Ok>(value_); }
    // The issues when the candidate was refused (possibly none); nothing when it is ok.
    const std::vector<ValidationIssue>* issues() const;

    // Throws ParseError.
    static ValidateOutput parse(std::string_view text);

    struct Mapped {
        std::map<std::string, std::string> fields; // setting name → first message naming it
        std::vector<std::string> general;          // messages that name no known setting
        bool operator==(const Mapped&) const = default;
    };
    static Mapped mapped(const std::vector<ValidationIssue>& issues,
                         const std::set<std::string>& knownOptions);

    bool operator==(const ValidateOutput&) const = default;

private:
    explicit ValidateOutput(std::variant<Ok, Invalid> value) : value_(std::move(value)) {}
    std::variant<Ok, Invalid> value_;
};

class SaveOutcome {
public:
    struct InvalidLocally {
        std::map<std::string, std::string> errors;
        bool operator==(const InvalidLocally&) const = default;
    };
    struct Rejected {
        std::map<std::string, std::string> fields;
        std::vector<std::string> general;
        bool operator==(const Rejected&) const = default;
    };
    struct CommandFailed {
        std::string message;
        bool operator==(const CommandFailed&) const = default;
    };
    struct WriteFailed {
        std::string message;
        bool operator==(const WriteFailed&) const = default;
    };
    struct Saved {
        bool operator==(const Saved&) const = default;
    };
    using Value = std::variant<InvalidLocally, Rejected, CommandFailed, WriteFailed, Saved>;

    // There is no default outcome: only the pipeline says a save happened.
    SaveOutcome() = delete;
    static SaveOutcome invalidLocally(std::map<std::string, std::string> errors) {
        return SaveOutcome(InvalidLocally{std::move(errors)});
    }
    static SaveOutcome rejected(std::map<std::string, std::string> fields,
                                std::vector<std::string> general) {
        return SaveOutcome(Rejected{std::move(fields), std::move(general)});
    }
    static SaveOutcome commandFailed(std::string message) {
        return SaveOutcome(CommandFailed{std::move(message)});
    }
    static SaveOutcome writeFailed(std::string message) {
        return SaveOutcome(WriteFailed{std::move(message)});
    }
    static SaveOutcome saved() { return SaveOutcome(Saved{}); }

    const Value& value() const { return value_; }
    bool isSaved() const { return std::holds_alternative<Saved>(value_); }

    bool operator==(const SaveOutcome&) const = default;

private:
    explicit SaveOutcome(Value value) : value_(std::move(value)) {}
    Value value_;
};

// What the form was loaded from: the config file's exact bytes, or nothing when
// there was no file. A save only replaces a file that still holds exactly this.
struct LoadedFile {
    std::optional<std::string> contents;

    static LoadedFile absent() { return {}; }
    static LoadedFile bytes(std::string data) { return {std::move(data)}; }
    bool operator==(const LoadedFile&) const = default;
};

namespace SavePipeline {

// Saves `form` to the config file at `path`, through `environment`:
//   1. a form with any field error gives `invalidLocally`, and nothing is touched;
//   2. the new bytes go to a candidate beside the file that `path` finally names
//      (a symbolic link stays a link; its target is replaced), with the replaced
//      file's permission bits, flushed to disk;
//   3. `runValidate` judges the candidate; its standard output alone decides
//      between `rejected`, `commandFailed` and going on;
//   4. when the file no longer holds `loaded`, nothing is replaced and the outcome
//      is `writeFailed` with SaveError::changedOnDisk's text;
//   5. one rename puts the candidate in place, and the directory is synced.
// Every path that does not end in the rename removes the candidate, so after any
// outcome but `saved` the file holds exactly what it held. Nothing is thrown.
//
// Call it on a worker thread, never the GUI thread: it blocks for the whole
// `config validate` run. Give it copies (the form by value into the job); saves
// of one file must not overlap, since they share the candidate's name. After
// `saved` the file holds exactly `form.serializedData()`: pass those bytes as
// `loaded` to the next save, together with the marked-saved form.
SaveOutcome save(const SettingsForm& form, const std::string& path, const LoadedFile& loaded,
                 const SaveEnvironment& environment);

// path + "." + pid + ".tmp": beside the file, and named after the process that
// left it behind should it ever be left.
std::string candidatePath(const std::string& path, std::int64_t pid);

} // namespace SavePipeline

} // namespace menubar
