#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SaveSettings.hpp"

using namespace menubar;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

SettingsForm formOf(const std::string& file) {
    const SettingsSchema schema{
        .groups = {SettingsGroup{
            .id = "g",
            .settings = {
                SettingSpec{.name = "warn-context",
                            .control = SettingControl::fromName("percent"),
                            .max = 100},
                SettingSpec{.name = "mode", .control = SettingControl::fromName("text")},
            }}}};
    return SettingsForm(schema, SettingsForm::parseFile(file));
}

CommandOutcome answering(std::string out, std::string err = "", int status = 0) {
    return CommandOutcome{status, std::move(out), std::move(err)};
}

// A disk that exists only as a log of what was asked of it.
struct FakeDisk {
    Strings calls;
    CommandOutcome answer = answering(R"({"ok":true})");
    std::optional<std::string> onDisk = "{}";
    std::optional<std::uint32_t> mode = 0640;
    std::string failing; // the operation that throws

    SaveEnvironment environment() {
        const auto step = [this](std::string call, const std::string& name) {
            calls.push_back(std::move(call));
            if (failing == name)
                throw std::runtime_error(name + " broke");
        };
        return SaveEnvironment{
            .runValidate =
                [this](const std::string& path) {
                    calls.push_back("runValidate " + path);
                    return answer;
                },
            .writeFile =
                [step](const std::string& path, const std::string& bytes,
                       std::optional<std::uint32_t> mode) {
                    step("writeFile " + path + " " + (mode ? std::to_string(*mode) : "default") +
                             " " + std::to_string(bytes.size()),
                         "writeFile");
                },
            .createDirectory =
                [step](const std::string& path) {
                    step("createDirectory " + path, "createDirectory");
                },
            .rename =
                [step](const std::string& from, const std::string& to) {
                    step("rename " + from + " " + to, "rename");
                },
            .remove = [this](const std::string& path) { calls.push_back("remove " + path); },
            .resolveLinks =
                [step](const std::string& path) {
                    step("resolveLinks " + path, "resolveLinks");
                    return path == "/cfg/link.json" ? std::string("/dots/real.json") : path;
                },
            .permissions =
                [this](const std::string& path) {
                    calls.push_back("permissions " + path);
                    return mode;
                },
            .readFile =
                [this, step](const std::string& path) {
                    step("readFile " + path, "readFile");
                    return onDisk;
                },
            .syncDirectory =
                [this](const std::string& path) { calls.push_back("syncDirectory " + path); },
        };
    }
};

const std::string pid = std::to_string(::getpid());
const std::string candidate = "/cfg/config.json." + pid + ".tmp";

Strings upToValidate() {
    return {"resolveLinks /cfg/config.json", "createDirectory /cfg", "permissions /cfg/config.json",
            "writeFile " + candidate + " 416 19", "runValidate " + candidate};
}

Strings plus(Strings calls, const Strings& more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void spill(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::uint32_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "settings-save-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    Strings entries() const {
        Strings names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

} // namespace

TEST(SavePipeline, CandidateSitsBesideTheFile) {
    EXPECT_EQ(SavePipeline::candidatePath("/a/config.json", 4711), "/a/config.json.4711.tmp");
}

TEST(SavePipeline, DaemonAnswersDecideTheOutcome) {
    const std::string notJSON = "config validate printed something other than JSON";
    const std::string badShape = "config validate printed JSON of an unexpected shape";
    const Strings removed = {"remove " + candidate};
    const struct {
        CommandOutcome answer;
        SaveOutcome outcome;
        Strings after; // calls after runValidate
    } cases[] = {
        {answering(R"({"ok":true,"errors":[{"message":"ignored"}]})"),
         SaveOutcome::saved(),
         {"readFile /cfg/config.json", "rename " + candidate + " /cfg/config.json",
          "syncDirectory /cfg"}},
        {answering(R"({"ok":false,"errors":[{"options":["warn-context"],"message":"too high"}]})",
                   "", 1),
         SaveOutcome::rejected({{"warn-context", "too high"}}, {}), removed},
        {answering("", "failed to launch /x/tessaly: No such file or directory", -1),
         SaveOutcome::commandFailed(notJSON +
                                    " (failed to launch /x/tessaly: No such file or directory)"),
         removed},
        {answering("", "", 2), SaveOutcome::commandFailed(notJSON + " (exit status 2)"), removed},
        {answering("[]"), SaveOutcome::commandFailed(badShape + " (exit status 0)"), removed},
        {answering("{}", "oops"), SaveOutcome::commandFailed(badShape + " (oops)"), removed},
        {answering(R"({"ok":"yes"})"), SaveOutcome::commandFailed(badShape + " (exit status 0)"),
         removed},
    };
    for (const auto& row : cases) {
        FakeDisk disk;
        disk.answer = row.answer;
        EXPECT_EQ(SavePipeline::save(formOf(R"({"mode":"x"})"), "/cfg/config.json",
                                     LoadedFile::bytes("{}"), disk.environment()),
                  row.outcome)
            << row.answer.standardOutput;
        EXPECT_EQ(disk.calls, plus(upToValidate(), row.after)) << row.answer.standardOutput;
    }
}

TEST(SavePipeline, FailuresBeforeTheDaemonRunsLeaveNothingBehind) {
    FakeDisk untouched;
    auto invalid = formOf(R"({"warn-context": 120})");
    EXPECT_EQ(SavePipeline::save(invalid, "/cfg/config.json", {}, untouched.environment()),
              SaveOutcome::invalidLocally({{"warn-context", "Must be at most 100"}}));
    EXPECT_TRUE(untouched.calls.empty());

    const struct {
        const char* failing;
        std::size_t calls;
    } cases[] = {{"resolveLinks", 1}, {"createDirectory", 2}, {"writeFile", 4}};
    const Strings expected = upToValidate();
    for (const auto& row : cases) {
        FakeDisk disk;
        disk.failing = row.failing;
        EXPECT_EQ(SavePipeline::save(formOf(R"({"mode":"x"})"), "/cfg/config.json",
                                     LoadedFile::bytes("{}"), disk.environment()),
                  SaveOutcome::writeFailed(std::string(row.failing) + " broke"));
        EXPECT_EQ(disk.calls, Strings(expected.begin(), expected.begin() + row.calls));
    }
}

TEST(SavePipeline, NeverReplacesAFileThatChangedSinceItWasLoaded) {
    const std::string changed = "the config file changed on disk after it was loaded; reopen the "
                                "settings to see the change";
    const struct {
        std::optional<std::string> onDisk;
        LoadedFile loaded;
        bool saved;
    } cases[] = {
        {"{}", LoadedFile::bytes("{}"), true},   {std::nullopt, LoadedFile::absent(), true},
        {"{} ", LoadedFile::bytes("{}"), false}, {std::nullopt, LoadedFile::bytes("{}"), false},
        {"", LoadedFile::absent(), false},
    };
    for (const auto& row : cases) {
        FakeDisk disk;
        disk.onDisk = row.onDisk;
        const auto outcome = SavePipeline::save(formOf(R"({"mode":"x"})"), "/cfg/config.json",
                                                row.loaded, disk.environment());
        if (row.saved) {
            EXPECT_EQ(outcome, SaveOutcome::saved());
            continue;
        }
        EXPECT_EQ(outcome, SaveOutcome::writeFailed(changed));
        EXPECT_EQ(disk.calls,
                  plus(upToValidate(), {"readFile /cfg/config.json", "remove " + candidate}));
    }

    for (const char* failing : {"readFile", "rename"}) {
        FakeDisk disk;
        disk.failing = failing;
        EXPECT_EQ(SavePipeline::save(formOf("{}"), "/cfg/config.json", LoadedFile::bytes("{}"),
                                     disk.environment()),
                  SaveOutcome::writeFailed(std::string(failing) + " broke"));
        EXPECT_EQ(disk.calls.back(), "remove " + candidate);
    }
}

TEST(SavePipeline, ReplacesWhatALinkPointsAtWithTheSameMode) {
    FakeDisk disk;
    disk.onDisk = "{}";
    disk.mode = std::nullopt;
    const std::string besideTarget = "/dots/real.json." + pid + ".tmp";
    EXPECT_EQ(SavePipeline::save(formOf("{}"), "/cfg/link.json", LoadedFile::bytes("{}"),
                                 disk.environment()),
              SaveOutcome::saved());
    EXPECT_EQ(disk.calls,
              (Strings{"resolveLinks /cfg/link.json", "createDirectory /dots",
                       "permissions /dots/real.json", "writeFile " + besideTarget + " default 3",
                       "runValidate " + besideTarget, "readFile /dots/real.json",
                       "rename " + besideTarget + " /dots/real.json", "syncDirectory /dots"}));
}

TEST(ValidateOutput, ReadsTheDaemonsAnswer) {
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":true})"), ValidateOutput::ok());
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false})"), ValidateOutput::invalid({}));
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false,"errors":{"message":"x"}})"),
              ValidateOutput::invalid({}));
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false,"errors":[
        {"message":"a","options":["x",1,"y"]}, {"options":["x"]}, "loose", {"message":2},
        {"message":"b","options":"x"}, {"message":"c","extra":true}]})"),
              ValidateOutput::invalid({{{"x", "y"}, "a"}, {{}, "b"}, {{}, "c"}}));

    const struct {
        const char* text;
        ValidateOutput::ParseError::Kind kind;
    } failures[] = {
        {"", ValidateOutput::ParseError::Kind::notJSON},
        {"ok", ValidateOutput::ParseError::Kind::notJSON},
        {R"({"ok":true} trailing)", ValidateOutput::ParseError::Kind::notJSON},
        {"[]", ValidateOutput::ParseError::Kind::unexpectedShape},
        {"\"ok\"", ValidateOutput::ParseError::Kind::unexpectedShape},
        {"{}", ValidateOutput::ParseError::Kind::unexpectedShape},
        {R"({"ok":1})", ValidateOutput::ParseError::Kind::unexpectedShape},
        {R"({"errors":[]})", ValidateOutput::ParseError::Kind::unexpectedShape},
    };
    for (const auto& row : failures) {
        try {
            ValidateOutput::parse(row.text);
            ADD_FAILURE() << row.text;
        } catch (const ValidateOutput::ParseError& error) {
            EXPECT_EQ(error.kind, row.kind) << row.text;
        }
    }
}

TEST(ValidateOutput, MapsIssuesToFieldsFirstMessageWinning) {
    const auto mapped = ValidateOutput::mapped(
        {
            {{"a"}, "first about a"},
            {{"ghost"}, "about nothing we show"},
            {{}, "about everything"},
            {{"ghost", "a", "b"}, "second about a, first about b"},
        },
        {"a", "b", "c"});
    EXPECT_EQ(mapped.fields, (std::map<std::string, std::string>{
                                 {"a", "first about a"}, {"b", "second about a, first about b"}}));
    EXPECT_EQ(mapped.general, (Strings{"about nothing we show", "about everything"}));
}

TEST(SavePipelineOnDisk, SavesInPlaceKeepingModeAndLinks) {
    TemporaryDirectory directory;
    const auto dots = directory.path() / "dots";
    const auto config = directory.path() / "cfg" / "config.json";
    fs::create_directories(dots);
    fs::create_directories(config.parent_path());
    spill(dots / "real.json", R"({"mode":"old"})");
    fs::permissions(dots / "real.json", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("../dots/real.json", config);

    std::string judged;
    std::uint32_t judgedMode = 0;
    const auto environment = SaveEnvironment::files([&](const std::string& path) {
        judged = path;
        judgedMode = modeOf(path);
        return answering(R"({"ok":true})");
    });
    auto form = formOf(R"({"mode":"old"})");
    form.set("mode", SettingValue::text("new"));
    EXPECT_EQ(SavePipeline::save(form, config.string(), LoadedFile::bytes(R"({"mode":"old"})"),
                                 environment),
              SaveOutcome::saved());

    EXPECT_EQ(fs::path(judged).lexically_normal(), dots / ("real.json." + pid + ".tmp"));
    EXPECT_EQ(judgedMode, 0600u) << "never readable by others, not even while judged";
    EXPECT_TRUE(fs::is_symlink(config));
    EXPECT_EQ(slurp(dots / "real.json"), "{\n  \"mode\" : \"new\"\n}\n");
    EXPECT_EQ(modeOf(dots / "real.json"), 0600u);
    EXPECT_EQ(directory.entries(), (Strings{"cfg", "dots"}));
    EXPECT_EQ(fs::directory_iterator(dots)->path().filename(), "real.json");

    // A file that did not exist gets the usual mode and its folder is made.
    const auto fresh = directory.path() / "new" / "deeper" / "config.json";
    const mode_t mask = ::umask(022);
    EXPECT_EQ(SavePipeline::save(form, fresh.string(), LoadedFile::absent(), environment),
              SaveOutcome::saved());
    ::umask(mask);
    EXPECT_EQ(slurp(fresh), "{\n  \"mode\" : \"new\"\n}\n");
    EXPECT_EQ(modeOf(fresh), 0644u);
}

TEST(SavePipelineOnDisk, EveryRefusalLeavesTheFileAndNoCandidate) {
    const std::string original = "{\"mode\" : \"mine\"}";
    const struct {
        const char* name;
        std::function<void(const fs::path& config, const std::string& candidate)> duringValidate;
        CommandOutcome answer;
        const char* message; // of writeFailed; nothing for other outcomes
        const char* onDiskAfter;
    } cases[] = {
        {"rejected", nullptr, answering(R"({"ok":false,"errors":[{"message":"no"}]})"), nullptr,
         nullptr},
        {"gibberish", nullptr, answering("Usage: tessaly ..."), nullptr, nullptr},
        {"edited meanwhile",
         [](const fs::path& config, const std::string&) { spill(config, "{\"mode\":\"theirs\"}"); },
         answering(R"({"ok":true})"),
         "the config file changed on disk after it was loaded; reopen the settings to see the "
         "change",
         "{\"mode\":\"theirs\"}"},
        {"deleted meanwhile",
         [](const fs::path& config, const std::string&) { fs::remove(config); },
         answering(R"({"ok":true})"),
         "the config file changed on disk after it was loaded; reopen the settings to see the "
         "change",
         ""},
        {"candidate vanished",
         [](const fs::path&, const std::string& candidate) { fs::remove(candidate); },
         answering(R"({"ok":true})"),
         "could not move the new file into place: No such file or directory", nullptr},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        TemporaryDirectory directory;
        const auto config = directory.path() / "config.json";
        spill(config, original);
        const auto environment = SaveEnvironment::files([&](const std::string& candidate) {
            if (row.duringValidate)
                row.duringValidate(config, candidate);
            return row.answer;
        });
        auto form = formOf(original);
        form.set("mode", SettingValue::text("changed"));
        const auto outcome =
            SavePipeline::save(form, config.string(), LoadedFile::bytes(original), environment);
        if (row.message)
            EXPECT_EQ(outcome, SaveOutcome::writeFailed(row.message));
        else
            EXPECT_FALSE(outcome.isSaved());
        const std::string after = row.onDiskAfter ? row.onDiskAfter : original;
        EXPECT_EQ(directory.entries(), after.empty() ? Strings{} : Strings{"config.json"});
        if (!after.empty()) {
            EXPECT_EQ(slurp(config), after);
        }
    }
}

TEST(SavePipelineOnDisk, UnwritablePlacesFailWithTheSystemsReason) {
    TemporaryDirectory directory;
    const auto validate = [](const std::string&) { return answering(R"({"ok":true})"); };
    const auto environment = SaveEnvironment::files(validate);

    spill(directory.path() / "plain", "");
    const auto underAFile = directory.path() / "plain" / "config.json";
    EXPECT_EQ(SavePipeline::save(formOf("{}"), underAFile.string(), {}, environment),
              SaveOutcome::writeFailed("could not create the folder " +
                                       underAFile.parent_path().string() + ": Not a directory"));

    const auto config = directory.path() / "config.json";
    const auto blocker = directory.path() / ("config.json." + pid + ".tmp");
    fs::create_directories(blocker / "inside");
    EXPECT_EQ(SavePipeline::save(formOf("{}"), config.string(), {}, environment),
              SaveOutcome::writeFailed("could not write " + blocker.string() + ": File exists"));
    fs::remove_all(blocker);

    if (::geteuid() == 0)
        GTEST_SKIP() << "a read-only folder does not stop root";
    spill(config, "{}");
    fs::permissions(directory.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(
        SavePipeline::save(formOf("{}"), config.string(), LoadedFile::bytes("{}"), environment),
        SaveOutcome::writeFailed("could not write " + blocker.string() + ": Permission denied"));
    EXPECT_EQ(slurp(config), "{}");
}

// Kill a saving process at random moments: whatever instant it dies, the config
// holds the old bytes or the new ones, whole, and keeps its mode.
TEST(SavePipelineOnDisk, AKilledSaveLeavesTheOldOrTheNewFile) {
    TemporaryDirectory directory;
    const auto config = directory.path() / "config.json";
    auto first = formOf("{}");
    first.set("mode", SettingValue::text(std::string(3000, 'a')));
    auto second = formOf("{}");
    second.set("mode", SettingValue::text(std::string(5000, 'b')));
    const std::string firstBytes = first.serializedData();
    const std::string secondBytes = second.serializedData();
    spill(config, firstBytes);
    fs::permissions(config, fs::perms::owner_read | fs::perms::owner_write);

    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> delayMicroseconds(0, 3000);
    int kills = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (kills < 200 && std::chrono::steady_clock::now() < deadline) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const auto environment = SaveEnvironment::files(
                [](const std::string&) { return answering(R"({"ok":true})"); });
            for (;;) {
                const std::string current = slurp(config);
                const auto& next = current == firstBytes ? second : first;
                SavePipeline::save(next, config.string(), LoadedFile::bytes(current), environment);
            }
        }
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ++kills;

        const std::string now = slurp(config);
        ASSERT_TRUE(now == firstBytes || now == secondBytes)
            << "after kill " << kills << " the file holds " << now.size() << " bytes";
        ASSERT_EQ(modeOf(config), 0600u);
        for (const auto& name : directory.entries())
            if (name != "config.json")
                fs::remove(directory.path() / name); // the dead child's candidate
    }
    EXPECT_GE(kills, 20);
}
