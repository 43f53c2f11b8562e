#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/SaveSettings.hpp"

using namespace menubar;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

SettingsForm formOf(const std::string& file) {
    const SettingSpec warn{
        .name = "warn-context", .control = SettingControl::fromName("percent"), .max = 100};
    const SettingSpec mode{.name = "mode", .control = SettingControl::fromName("text")};
    return SettingsForm(SettingsSchema{.groups = {{.id = "g", .settings = {warn, mode}}}},
                        SettingsForm::parseFile(file));
}

CommandOutcome answering(std::string out, std::string err = "", int status = 0) {
    return CommandOutcome{status, std::move(out), std::move(err)};
}

const CommandOutcome okAnswer = answering(R"({"ok":true})");
const std::string changedOnDisk = "the config file changed on disk after it was loaded; reopen the "
                                  "settings to see the change";

// A disk that exists only as a log of what was asked of it.
struct FakeDisk {
    Strings calls;
    CommandOutcome answer = okAnswer;
    std::optional<std::string> onDisk = "{}";
    std::string failing; // the operation that throws

    void step(const std::string& operation, const std::string& arguments) {
        calls.push_back(operation + " " + arguments);
        if (failing == operation)
            throw std::runtime_error(operation + " broke");
    }
    SaveEnvironment environment() {
        using Mode = std::optional<std::uint32_t>;
        return SaveEnvironment{
            .runValidate = [this](const auto& path) { return step("runValidate", path), answer; },
            .writeFile =
                [this](const auto& path, const auto& bytes, Mode mode) {
                    step("writeFile", path + " " + std::to_string(mode.value_or(0)) + " " +
                                          std::to_string(bytes.size()));
                },
            .createDirectory = [this](const auto& path) { step("createDirectory", path); },
            .rename = [this](const auto& from, const auto& to) { step("rename", from + " " + to); },
            .remove = [this](const auto& path) { calls.push_back("remove " + path); },
            .resolveLinks = [this](const auto& path) { return step("resolveLinks", path), path; },
            .permissions =
                [this](const auto& path) { return step("permissions", path), Mode(0640); },
            .readFile = [this](const auto& path) { return step("readFile", path), onDisk; },
            .syncDirectory = [this](const auto& path) { calls.push_back("syncDirectory " + path); },
        };
    }
};

const std::string pid = std::to_string(::getpid());
const std::string candidate = "/cfg/config.json." + pid + ".tmp";
const Strings throughValidate = {"resolveLinks /cfg/config.json", "createDirectory /cfg",
                                 "permissions /cfg/config.json",
                                 "writeFile " + candidate + " 416 19", "runValidate " + candidate};
const Strings renamed = {"readFile /cfg/config.json", "rename " + candidate + " /cfg/config.json",
                         "syncDirectory /cfg"};

Strings first(std::size_t count, const Strings& more = {}) {
    Strings calls(throughValidate.begin(), throughValidate.begin() + count);
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

struct TemporaryDirectory {
    std::string pattern = (fs::temp_directory_path() / "settings-save-XXXXXX").string();
    fs::path path{::mkdtemp(pattern.data())};
    ~TemporaryDirectory() { fs::remove_all(path); }
    Strings entries() const {
        Strings names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

int flushes = 0;

} // namespace

#ifdef __linux__
// Counts the flushes asked of the system; each still happens.
extern "C" int fsync(int fd) {
    ++flushes;
    return static_cast<int>(::syscall(SYS_fsync, fd));
}
#endif

// The daemon's answer, a failing step, or a file that changed since it was loaded
// decides the outcome; the calls show what was done and undone. A rejected file
// is left alone and its candidate removed: the app's tests show both. A command failure
// names the daemon's complaint, or its exit status when it said nothing.
TEST(SavePipeline, AnswersFailuresAndForeignChangesDecideTheOutcome) {
    const Strings removed = first(5, {"remove " + candidate});
    const Strings checkedAndRemoved = first(5, {renamed[0], "remove " + candidate});
    struct Row {
        const char* failing;
        CommandOutcome answer;
        SaveOutcome outcome;
        Strings calls;
        LoadedFile loaded = LoadedFile::bytes("{}");
        std::optional<std::string> onDisk = "{}";
    };
    const Row cases[] = {
        {"", answering(R"({"ok":true,"errors":[{"message":"ignored"}]})", "", 3),
         SaveOutcome::saved(), first(5, renamed)},
        {"", answering("", "failed to launch /x/tessaly: No such file or directory", -1),
         SaveOutcome::commandFailed("config validate printed something other than JSON (failed "
                                    "to launch /x/tessaly: No such file or directory)"),
         removed},
        {"", answering("[]"),
         SaveOutcome::commandFailed(
             "config validate printed JSON of an unexpected shape (exit status 0)"),
         removed},
        {"writeFile", okAnswer, SaveOutcome::writeFailed("writeFile broke"), first(4)},
        {"rename", okAnswer, SaveOutcome::writeFailed("rename broke"),
         first(5, {renamed[0], renamed[1], "remove " + candidate})},
        // A file that appeared since an absent one was loaded; then none, as loaded.
        {"", okAnswer, SaveOutcome::writeFailed(changedOnDisk), checkedAndRemoved,
         LoadedFile::absent(), ""},
        {"", okAnswer, SaveOutcome::saved(), first(5, renamed), LoadedFile::absent(), std::nullopt},
    };
    for (const Row& row : cases) {
        SCOPED_TRACE(row.failing + row.answer.standardOutput);
        FakeDisk disk{.answer = row.answer, .onDisk = row.onDisk, .failing = row.failing};
        EXPECT_EQ(SavePipeline::save(formOf(R"({"mode":"x"})"), "/cfg/config.json", row.loaded,
                                     disk.environment()),
                  row.outcome);
        EXPECT_EQ(disk.calls, row.calls);
    }

    FakeDisk untouched;
    EXPECT_EQ(SavePipeline::save(formOf(R"({"warn-context": 120})"), "/cfg/config.json", {},
                                 untouched.environment()),
              SaveOutcome::invalidLocally({{"warn-context", "Must be at most 100"}}));
    EXPECT_TRUE(untouched.calls.empty());
}

TEST(ValidateOutput, ReadsTheDaemonsAnswerAndMapsItsIssues) {
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false})"), ValidateOutput::invalid({}));
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false,"errors":{"message":"x"}})"),
              ValidateOutput::invalid({}));
    EXPECT_EQ(ValidateOutput::parse(R"({"ok":false,"errors":[
        {"message":"a","options":["x",1,"y"]}, {"options":["x"]}, "loose", {"message":2},
        {"message":"b","options":"x"}, {"message":"c","extra":true}]})"),
              ValidateOutput::invalid({{{"x", "y"}, "a"}, {{}, "b"}, {{}, "c"}}));

    using ParseError = ValidateOutput::ParseError;
    for (const char* text : {R"({"ok":1})", R"({"errors":[]})"})
        EXPECT_THAT([&] { ValidateOutput::parse(text); },
                    testing::Throws<ParseError>(
                        testing::Field(&ParseError::kind, ParseError::Kind::unexpectedShape)))
            << text;

    // An issue goes to each field it names that the form shows, the first one about
    // a field winning; one that names none of them is general.
    const auto mapped =
        ValidateOutput::mapped({{{"a"}, "first about a"},
                                {{"ghost"}, "about nothing we show"},
                                {{}, "about everything"},
                                {{"ghost", "a", "b"}, "second about a, first about b"}},
                               {"a", "b", "c"});
    EXPECT_EQ(mapped.fields, (std::map<std::string, std::string>{
                                 {"a", "first about a"}, {"b", "second about a, first about b"}}));
    EXPECT_EQ(mapped.general, (Strings{"about nothing we show", "about everything"}));
}

// A link stays a link and the file keeps its mode; a stale candidate of this
// process is replaced; the candidate is on disk before the daemon judges it.
TEST(SavePipelineOnDisk, SavesInPlaceKeepingModeAndLinks) {
    TemporaryDirectory directory;
    const auto dots = directory.path / "dots";
    const auto config = directory.path / "cfg" / "config.json";
    fs::create_directories(dots);
    fs::create_directories(config.parent_path());
    spill(dots / "real.json", R"({"mode":"old"})");
    spill(dots / ("real.json." + pid + ".tmp"), "stale");
    fs::permissions(dots / "real.json", fs::perms::owner_read | fs::perms::owner_write |
                                            fs::perms::group_read | fs::perms::others_read);
    fs::create_symlink("../dots/real.json", config);

    std::string judged;
    std::uint32_t judgedMode = 0;
    int flushedWhenJudged = 0;
    const auto environment = SaveEnvironment::files([&](const std::string& path) {
        judged = path;
        judgedMode = modeOf(path);
        flushedWhenJudged = flushes;
        return okAnswer;
    });
    auto form = formOf(R"({"mode":"old"})");
    form.set("mode", SettingValue::text("new"));
    flushes = 0;
    EXPECT_EQ(SavePipeline::save(form, config.string(), LoadedFile::bytes(R"({"mode":"old"})"),
                                 environment),
              SaveOutcome::saved());
#ifdef __linux__ // macOS flushes through fcntl
    EXPECT_EQ(flushedWhenJudged, 1);
    EXPECT_EQ(flushes, 2) << "the folder too, after the rename";
#endif

    EXPECT_EQ(fs::path(judged).lexically_normal(), dots / ("real.json." + pid + ".tmp"));
    EXPECT_EQ(judgedMode, 0644u);
    EXPECT_EQ(slurp(dots / "real.json"), "{\n  \"mode\" : \"new\"\n}\n");
    EXPECT_EQ(fs::directory_iterator(dots)->path().filename(), "real.json");

    // A file that did not exist gets the usual mode and its folder is made.
    const auto fresh = directory.path / "new" / "deeper" / "config.json";
    const mode_t mask = ::umask(022);
    EXPECT_EQ(SavePipeline::save(form, fresh.string(), LoadedFile::absent(), environment),
              SaveOutcome::saved());
    ::umask(mask);
    EXPECT_EQ(modeOf(fresh), 0644u);

    // Places that cannot be written fail with the system's reason.
    const auto underAFile = directory.path / "dots" / "real.json" / "config.json";
    EXPECT_EQ(SavePipeline::save(form, underAFile.string(), {}, environment),
              SaveOutcome::writeFailed("could not create the folder " +
                                       underAFile.parent_path().string() + ": Not a directory"));
    const auto blocker = directory.path / ("config.json." + pid + ".tmp");
    fs::create_directories(blocker / "inside");
    EXPECT_EQ(SavePipeline::save(form, (directory.path / "config.json").string(), {}, environment),
              SaveOutcome::writeFailed("could not write " + blocker.string() + ": File exists"));
    // A FIFO in the file's place is refused: reading it would wait for a writer for good.
    const auto fifo = directory.path / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(SavePipeline::save(form, fifo.string(), {}, environment),
              SaveOutcome::writeFailed("could not read " + fifo.string() + ": not a regular file"));
}

// Kill a saving process at random moments, 200 times: whatever instant it dies,
// the config holds the old bytes or the new ones, whole, and keeps its mode; the
// only leftover is the dead process's own candidate, and a save that completes
// afterwards leaves no candidate of its own.
TEST(SavePipelineOnDisk, AKilledSaveLeavesTheOldOrTheNewFile) {
    TemporaryDirectory directory;
    const auto config = directory.path / "config.json";
    const auto first = formOf(R"({"mode":")" + std::string(3000, 'a') + "\"}");
    const auto second = formOf(R"({"mode":")" + std::string(5000, 'b') + "\"}");
    const std::string firstBytes = first.serializedData();
    const std::string secondBytes = second.serializedData();
    spill(config, firstBytes);
    fs::permissions(config, fs::perms::owner_read | fs::perms::owner_write);
    const auto environment = SaveEnvironment::files([](const std::string&) { return okAnswer; });
    const auto saveTheOther = [&] {
        const std::string current = slurp(config);
        return SavePipeline::save(current == firstBytes ? second : first, config.string(),
                                  LoadedFile::bytes(current), environment);
    };
    const auto startSaving = [&](int saves) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0; saves < 0 || i < saves; ++i)
                saveTheOther();
            ::_exit(0);
        }
        return child;
    };

    // The kills spread over the time a child takes to start and make three saves
    // on this disk, so they land in every step: before, during and after renames.
    const auto started = std::chrono::steady_clock::now();
    const pid_t timed = startSaving(3);
    ASSERT_GE(timed, 0);
    ::waitpid(timed, nullptr, 0);
    const std::int64_t span = std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now() - started)
                                  .count();
    std::mt19937 random(20240607);
    std::uniform_int_distribution<std::int64_t> delayMicroseconds(
        0, std::clamp<std::int64_t>(span, 1000, 100000));
    int changed = 0;
    for (int kills = 1; kills <= 200; ++kills) {
        const std::string before = slurp(config);
        const pid_t child = startSaving(-1);
        ASSERT_GE(child, 0);
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        const std::string now = slurp(config);
        ASSERT_TRUE(now == firstBytes || now == secondBytes)
            << "after kill " << kills << " the file holds " << now.size() << " bytes";
        ASSERT_EQ(modeOf(config), 0600u);
        changed += now != before;
        for (const auto& name : directory.entries()) {
            if (name == "config.json")
                continue;
            ASSERT_EQ(directory.path / name, SavePipeline::candidatePath(config, child));
            fs::remove(directory.path / name);
        }

        ASSERT_TRUE(saveTheOther().isSaved());
        ASSERT_EQ(slurp(config), now == firstBytes ? secondBytes : firstBytes);
        ASSERT_EQ(directory.entries(), Strings{"config.json"});
    }
    // Children that never got as far as a rename would prove nothing.
    EXPECT_GT(changed, 0);
}
