#include "SaveSettings.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/FileSystem.hpp"
#include "system/Paths.hpp"

namespace menubar {

SaveError::SaveError(Kind kind, const std::string& description)
    : std::runtime_error(description), kind(kind) {}

SaveError SaveError::rename(const std::string& message) {
    return SaveError(Kind::rename, "could not move the new file into place: " + message);
}

SaveError SaveError::changedOnDisk() {
    return SaveError(Kind::changedOnDisk, "the config file changed on disk after it was loaded; "
                                          "reopen the settings to see the change");
}

namespace {

std::runtime_error systemError(const std::string& what, const std::string& path, int error) {
    return std::runtime_error(what + path + ": " + systemErrorText(error));
}

// On macOS plain fsync stops at the drive's cache; only F_FULLFSYNC reaches the platter.
bool flushToDisk(int fd) {
#ifdef F_FULLFSYNC
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return true;
#endif
    return ::fsync(fd) == 0;
}

void writeDurably(const std::string& path, const std::string& bytes,
                  std::optional<std::uint32_t> mode) {
    // A candidate left by an earlier process with the same id is stale; start afresh
    // rather than write through whatever it has become.
    ::unlink(path.c_str());
    // Created private and empty; the wanted bits are set before any byte is written.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          mode ? 0600 : 0666);
    if (fd < 0)
        throw systemError("could not write ", path, errno);
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(path.c_str());
        throw systemError("could not write ", path, error);
    };
    if (mode && ::fchmod(fd, static_cast<mode_t>(*mode & 07777)) != 0)
        fail(errno);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        written += static_cast<std::size_t>(count);
    }
    if (!flushToDisk(fd))
        fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        throw systemError("could not write ", path, error);
    }
}

// The file as the save compares it with what the form was loaded from: nothing
// when there is none, whatever its size, since any difference is a change.
std::optional<std::string> currentContents(const std::string& path) {
    const FileSystem disk = FileSystem::real();
    if (!disk.exists(path))
        return std::nullopt;
    auto read = disk.readFile(path, std::numeric_limits<std::uint64_t>::max());
    if (auto* bytes = std::get_if<std::string>(&read))
        return std::move(*bytes);
    if (!disk.exists(path)) // removed while it was being read
        return std::nullopt;
    throw std::runtime_error(std::get<FileReadError>(read).message);
}

std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1,
                           '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0)
            throw systemError("could not follow the link ", current, errno);
        target.resize(static_cast<std::size_t>(length));
        current = target.starts_with('/') ? target : Paths::parentDirectory(current) + "/" + target;
    }
    throw systemError("could not follow the link ", path, ELOOP);
}

} // namespace

SaveEnvironment
SaveEnvironment::files(std::function<CommandOutcome(const std::string&)> runValidate) {
    return SaveEnvironment{
        .runValidate = std::move(runValidate),
        .writeFile = writeDurably,
        .createDirectory =
            [](const std::string& path) {
                std::error_code error;
                std::filesystem::create_directories(path, error);
                if (error)
                    throw std::runtime_error("could not create the folder " + path + ": " +
                                             systemErrorText(error.value()));
            },
        .rename =
            [](const std::string& from, const std::string& to) {
                if (::rename(from.c_str(), to.c_str()) != 0)
                    throw SaveError::rename(systemErrorText(errno));
            },
        .remove = [](const std::string& path) { ::unlink(path.c_str()); },
        .resolveLinks = followLinks,
        .permissions = [](const std::string& path) -> std::optional<std::uint32_t> {
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0)
                return std::nullopt;
            return static_cast<std::uint32_t>(info.st_mode & 07777);
        },
        .readFile = currentContents,
        .syncDirectory =
            [](const std::string& path) {
                const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd < 0)
                    return;
                flushToDisk(fd);
                ::close(fd);
            },
    };
}

ValidateOutput::ParseError::ParseError(Kind kind)
    : std::runtime_error(kind == Kind::notJSON
                             ? "config validate printed something other than JSON"
                             : "config validate printed JSON of an unexpected shape"),
      kind(kind) {}

const std::vector<ValidationIssue>* ValidateOutput::issues() const {
    if (const auto* invalid = std::get_if<Invalid>(&value_))
        return &invalid->issues;
    return nullptr;
}

ValidateOutput ValidateOutput::parse(std::string_view text) {
    JSONValue answer;
    try {
        answer = JSONValue::decode(text);
    } catch (const JSONError&) {
        throw ParseError(ParseError::Kind::notJSON);
    }
    const auto* object = answer.objectValue();
    const auto okMember = object ? object->find("ok") : JSONObject::const_iterator();
    if (object == nullptr || okMember == object->end() || !okMember->second.boolValue())
        throw ParseError(ParseError::Kind::unexpectedShape);
    if (*okMember->second.boolValue())
        return ok();

    std::vector<ValidationIssue> issues;
    const auto errors = object->find("errors");
    if (errors == object->end() || errors->second.arrayValue() == nullptr)
        return invalid({});
    for (const auto& element : *errors->second.arrayValue()) {
        const auto* entry = element.objectValue();
        const auto message = entry ? entry->find("message") : JSONObject::const_iterator();
        if (entry == nullptr || message == entry->end() || !message->second.stringValue())
            continue;
        ValidationIssue issue{.message = *message->second.stringValue()};
        if (const auto options = entry->find("options");
            options != entry->end() && options->second.arrayValue())
            for (const auto& option : *options->second.arrayValue())
                if (const auto* name = option.stringValue())
                    issue.options.push_back(*name);
        issues.push_back(std::move(issue));
    }
    return invalid(std::move(issues));
}

ValidateOutput::Mapped ValidateOutput::mapped(const std::vector<ValidationIssue>& issues,
                                              const std::set<std::string>& knownOptions) {
    Mapped result;
    for (const auto& issue : issues) {
        bool named = false;
        for (const auto& option : issue.options) {
            if (!knownOptions.contains(option))
                continue;
            named = true;
            result.fields.try_emplace(option, issue.message);
        }
        if (!named)
            result.general.push_back(issue.message);
    }
    return result;
}

namespace SavePipeline {

std::string candidatePath(const std::string& path, std::int64_t pid) {
    return path + "." + std::to_string(pid) + ".tmp";
}

namespace {

SaveOutcome saveSteps(const SettingsForm& form, const std::string& path, const LoadedFile& loaded,
                      const SaveEnvironment& environment, std::optional<std::string>& candidate) {
    if (!form.isValid())
        return SaveOutcome::invalidLocally(form.errors());

    std::string bytes;
    std::string target;
    try {
        bytes = form.serializedData();
        // A dotfile manager's link stays a link: the file it names is what gets replaced.
        target = environment.resolveLinks(path);
        const std::string pending = candidatePath(target, ::getpid());
        environment.createDirectory(Paths::parentDirectory(target));
        environment.writeFile(pending, bytes, environment.permissions(target));
        candidate = pending;
    } catch (const std::exception& error) {
        return SaveOutcome::writeFailed(error.what());
    }

    const CommandOutcome answer = environment.runValidate(*candidate);
    std::optional<ValidateOutput> verdict;
    try {
        verdict = ValidateOutput::parse(answer.standardOutput);
    } catch (const ValidateOutput::ParseError& error) {
        const std::string detail = answer.standardError.empty()
                                       ? "exit status " + std::to_string(answer.status)
                                       : answer.standardError;
        return SaveOutcome::commandFailed(std::string(error.what()) + " (" + detail + ")");
    }
    if (const auto* issues = verdict->issues()) {
        std::set<std::string> known;
        for (const auto& field : form.fields())
            known.insert(field.name());
        auto [fields, general] = ValidateOutput::mapped(*issues, known);
        return SaveOutcome::rejected(std::move(fields), std::move(general));
    }

    try {
        // As late as possible, so that an edit made while the daemon judged the
        // candidate is not silently overwritten either.
        if (environment.readFile(target) != loaded.contents)
            return SaveOutcome::writeFailed(SaveError::changedOnDisk().what());
        environment.rename(*candidate, target);
    } catch (const std::exception& error) {
        return SaveOutcome::writeFailed(error.what());
    }
    candidate.reset();
    try {
        environment.syncDirectory(Paths::parentDirectory(target));
    } catch (...) {
        // The new file is in place; reporting a failure now would tell the user
        // their file is untouched when it is not.
    }
    return SaveOutcome::saved();
}

} // namespace

SaveOutcome save(const SettingsForm& form, const std::string& path, const LoadedFile& loaded,
                 const SaveEnvironment& environment) {
    std::optional<std::string> candidate; // set while a candidate exists on disk
    std::optional<SaveOutcome> outcome;
    try {
        outcome = saveSteps(form, path, loaded, environment, candidate);
    } catch (const std::exception& error) {
        outcome = SaveOutcome::writeFailed(error.what());
    }
    if (candidate)
        environment.remove(*candidate);
    return *outcome;
}

} // namespace SavePipeline

} // namespace menubar
