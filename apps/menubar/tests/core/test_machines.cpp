#include <algorithm>
#include <array>

#include <gtest/gtest.h>

#include "machines/AllMachines.hpp"
#include "machines/MachineList.hpp"
#include "machines/RemoteStatus.hpp"

using namespace menubar;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };
const TimeZone utc = TimeZone::utc();

std::string statusAt(const std::string& pollTime, double pct, const std::string& level) {
    return R"({"version":1,"at":")" + pollTime + R"(","intervalMs":2000,"sessions":[)" +
           R"({"provider":"claude","shortId":"a1","dirName":"api","contextPct":)" +
           std::to_string(pct) + R"(,"level":")" + level + R"(","workspaceId":"ws-1",)" +
           R"("handoff":{"path":"/h/api.md","writtenAt":")" + pollTime + R"("}}]})";
}

std::string frame(const std::string& clock, const std::string& body) {
    return "tessaly-remote 1\nclock " + clock + "\n" + body + "\ntessaly-end\n";
}

std::string fileFrame(const std::string& clock, const std::string& bytes) {
    return frame(clock, "file " + std::to_string(bytes.size()) + "\n" + bytes);
}

MachineLink answered(const std::string& output, Instant receivedAt) {
    return MachineLink::from({0, output, ""}, receivedAt);
}

} // namespace

TEST(MachineList, TakesWhatSshTakesAndRefusesWhatWouldSteerIt) {
    const std::string longName(256, 'h');
    const MachineList list = MachineList::parse("# my boxes\n"
                                                "\n"
                                                "build\n"
                                                "ada@gpu.example\tGPU box\r\n"
                                                "ssh://ada@10.0.0.2:2222\n"
                                                "-oProxyCommand=touch /tmp/pwned\n"
                                                "ssh://-oProxyCommand=x\n"
                                                "ada@-oProxyCommand=x\n"
                                                "bell\a\n" +
                                                longName + "\nbuild\n");
    EXPECT_EQ(list.machines,
              (std::vector<Machine>{
                  {"build", ""}, {"ada@gpu.example", "GPU box"}, {"ssh://ada@10.0.0.2:2222", ""}}));
    const std::string option = "starts like an option, which ssh would obey rather than connect";
    const std::vector<RefusedMachineLine> refused{
        {6, "-oProxyCommand=touch /tmp/pwned", option},
        {7, "ssh://-oProxyCommand=x", option},
        {8, "ada@-oProxyCommand=x", option},
        {9, "bell?", "contains a control character"},
        {10, longName, "destination longer than 255 bytes"},
        {11, "build", "listed twice"},
    };
    EXPECT_EQ(list.refused, refused);
}

TEST(MachineList, EnvironmentOverridesTheFileAndEditsKeepOtherLines) {
    const std::string file = "# boxes\nbuild\tBuild\ngpu\n";
    EXPECT_EQ(MachineList::resolve({{"TESSALY_MENUBAR_MACHINES", "a;b\tB"}}, file).machines,
              (std::vector<Machine>{{"a", ""}, {"b", "B"}}));
    EXPECT_TRUE(MachineList::resolve({{"TESSALY_MENUBAR_MACHINES", ""}}, file).machines.empty());
    EXPECT_EQ(MachineList::resolve({}, file).machines.size(), 2u);
    EXPECT_EQ(MachineList::adding("gpu", {"ci", "CI"}), "gpu\nci\tCI\n");
    EXPECT_EQ(MachineList::removing(file, "build"), "# boxes\ngpu\n");
}

TEST(RemoteFetch, DestinationComesLastBeforeTheScriptAndAfterEveryOption) {
    const auto line = [](const std::string& destination, const std::string& name) {
        std::string bracketed;
        for (const auto& argument : RemoteFetch::arguments({destination, name}, "/run/user/1000"))
            bracketed += "[" + argument + "]";
        return bracketed;
    };
    // The connection's name ends in a hash of the destination, the same on every run.
    const std::string options =
        "[-o][BatchMode=yes][-o][ConnectTimeout=5][-o][ServerAliveInterval=5]"
        "[-o][ServerAliveCountMax=2][-o][ControlMaster=auto]"
        "[-o][ControlPath=/run/user/1000/ssh-%C-";
    const std::string built = line("build", "B");
    const auto hashEnd = options.size() + 8;
    ASSERT_TRUE(built.starts_with(options));
    EXPECT_EQ(built.substr(hashEnd),
              "][-o][ControlPersist=60][build][--][" + std::string(RemoteFetch::script()) + "]");
    EXPECT_EQ(built, line("build", ""));
    EXPECT_NE(built.substr(0, hashEnd), line("build2", "").substr(0, hashEnd));
    // ssh binds ControlPath plus 17 bytes, and a socket path holds 103 on macOS,
    // whose runtime folder sits deep under /var/folders.
    for (const auto& [folder, master, path] : std::vector<std::array<std::string, 3>>{
             {"/run/user/1000", "ControlMaster=auto", "ControlPath=/run/user/1000/ssh-%C-"},
             {"/" + std::string(49, 'f'), "ControlMaster=auto",
              "ControlPath=/" + std::string(49, 'f') + "/ssh-"},
             {"/" + std::string(70, 'f'), "ControlMaster=no", "ControlPath=none"},
         }) {
        SCOPED_TRACE(folder);
        const auto arguments = RemoteFetch::arguments({"build", ""}, folder);
        EXPECT_EQ(arguments[9], master);
        EXPECT_TRUE(arguments[11].starts_with(path)) << arguments[11];
        EXPECT_LE(arguments[11].size() - std::string_view("ControlPath=").size() + 17, 103u);
    }
    // Handed to sh in single quotes: one inside would end the quoting early.
    EXPECT_EQ(std::ranges::count(RemoteFetch::script(), '\''), 2);
    EXPECT_EQ(RemoteFetch::script().find('!'), std::string_view::npos);
}

TEST(RemoteFrame, BelievesOnlyAWholeFrame) {
    const std::string bytes = statusAt("2026-03-01T12:00:00Z", 40, "ok");
    const std::string whole = fileFrame("1772366401.500000000", bytes);
    const std::tuple<const char*, std::string, std::variant<RemoteReading, std::string>> rows[] = {
        {"a clock without fraction", frame("1772366401", "missing"),
         RemoteReading{at("2026-03-01T12:00:01Z"), StatusSnapshot::missing()}},
        {"cut in the bytes", whole.substr(0, whole.size() / 2), std::string("reply cut off")},
        {"bytes missing before the end", fileFrame("1772366401.5", bytes).replace(60, 5, ""),
         std::string("reply not understood")},
        {"two replies run together", whole + whole, std::string("reply not understood")},
        {"no frame at all", "bash: sh: command not found", std::string("reply not understood")},
        {"a clock that is not one", frame("soon", "missing"), std::string("reply not understood")},
    };
    for (const auto& [name, output, expected] : rows)
        EXPECT_EQ(RemoteFrame::parse(output), expected) << name;
}

TEST(RemoteFrame, AStreamIsBelievedFrameByFrame) {
    using Frames = std::vector<std::variant<RemoteReading, std::string>>;
    const std::chrono::sys_time<std::chrono::nanoseconds> clock{
        std::chrono::nanoseconds(1772366401'500000123)};
    const Instant seen = at("2026-03-01T12:00:01.5Z");
    const auto make = [&](std::optional<FileReadResult> read) {
        return RemoteFrame::make(clock, read);
    };
    const auto reading = [&](FileReadResult read) {
        return RemoteReading{seen, StatusFileLocator::snapshot(read)};
    };
    const std::string bytes = statusAt("2026-03-01T12:00:00Z", 40, "ok");
    // Bytes that hold the frame's own lines: only the size tells where they end.
    const std::string tricky = "\ntessaly-end\ntessaly-remote 1\n";
    const std::string gone = make(std::nullopt);
    const std::string notOne(RemoteFrame::notUnderstood);
    const RemoteReading none{seen, StatusSnapshot::missing()};
    // The bytes, the size of the pieces they arrive in, then the frames and what is left.
    const std::tuple<const char*, std::string, std::size_t, Frames, std::string> rows[] = {
        {"one byte at a time", make(bytes) + gone, 1, {reading(bytes), none}, ""},
        {"end lines inside the file, then half a frame",
         make(tricky) + gone.substr(0, 30),
         4096,
         {reading(tricky)},
         gone.substr(0, 30)},
        {"unreadable and too large",
         make(FileReadError{"Permission denied"}) + make(FileTooLarge{20000000}),
         7,
         {reading(FileReadError{"Permission denied"}), reading(FileTooLarge{20000000})},
         ""},
        {"a greeting, then a file over the limit",
         "Welcome\n" + gone + "tessaly-remote 1\nclock 1\nfile 16777217\n",
         4096,
         {none, notOne},
         ""},
        {"other output between frames", gone + "oops\n" + gone + gone, 4096, {none, notOne}, ""},
    };
    for (const auto& [name, output, piece, expected, pending] : rows) {
        SCOPED_TRACE(name);
        RemoteFrame::Stream stream;
        Frames frames;
        for (std::size_t at = 0; at < output.size(); at += piece)
            for (auto& frame : stream.feed(std::string_view(output).substr(at, piece)))
                frames.push_back(std::move(frame));
        EXPECT_EQ(frames, expected);
        EXPECT_EQ(stream.pending, pending);
    }
    // A stream that ends with half a frame left was cut off.
    RemoteFrame::Stream cut;
    cut.feed(std::string_view(gone).substr(0, 30));
    EXPECT_EQ(MachineLink::fromEndedStream({0, "", "Connection closed"}, cut, seen),
              (MachineLink{MachineLink::Unreachable{"reply cut off", "Connection closed"}}));
}

TEST(MachineLink, SaysWhySshFailedInWords) {
    const Instant t = at("2026-03-01T12:00:00Z");
    const std::tuple<int, std::string, std::string> rows[] = {
        {143, "timed out after 20 s", "no answer in time"},
        {255,
         "No ED25519 host key is known for [127.0.0.1]:2222 and you have requested strict "
         "checking.\nHost key verification failed.",
         "host key unknown"},
        {255, "ada@127.0.0.1: Permission denied (publickey).", "authentication refused"},
        {-1, "failed to launch ssh: No such file or directory", "ssh not found"},
        {255, "kex_exchange_identification: read: odd", "ssh failed (exit 255)"},
    };
    for (const auto& [status, standardError, reason] : rows) {
        SCOPED_TRACE(reason);
        const std::string lastLine = standardError.substr(standardError.rfind('\n') + 1);
        EXPECT_EQ(MachineLink::from({status, "", standardError}, t),
                  (MachineLink{MachineLink::Unreachable{reason, lastLine}}));
    }
    // A stream's refusal of what it was sent is told in its own words.
    EXPECT_EQ(MachineLink::fromFrame(std::string("stray output before the answer"), t),
              (MachineLink{MachineLink::Unreachable{"stray output before the answer", ""}}));
    using std::chrono::seconds;
    const std::chrono::steady_clock::time_point began{}, ended = began + std::chrono::seconds(2);
    EXPECT_EQ(nextFetch(began, ended, 0), began + std::chrono::seconds(3));
    EXPECT_EQ(nextFetch(began, ended, 2), ended + std::chrono::seconds(6));
    EXPECT_EQ((std::vector{retryGap(1), retryGap(2), retryGap(5), retryGap(6), retryGap(40)}),
              (std::vector{seconds(3), seconds(6), seconds(48), seconds(60), seconds(60)}));
}

TEST(AllMachines, IconIsTheWorstOfAllAndMenuHasASectionEach) {
    const Instant now = at("2026-03-01T12:00:00Z");
    const StatusSnapshot local =
        StatusFileLocator::snapshot(statusAt("2026-03-01T11:59:59Z", 50, "ok"));
    const DaemonState localState = DaemonState::from(local, now);
    const auto& localSessions = local.file()->sessions;
    const auto localLook = StatusItemPresentation::make(localState, localSessions, false, utc);
    const auto seenNow = [&](const Machine& machine, const MachineLink& link) {
        return MachineView::of(machine, link, now, utc);
    };
    const std::string gpuStatus = statusAt("2026-03-01T11:59:59Z", 91, "critical");
    const std::vector<MachineView> others{
        seenNow({"gpu", "GPU"}, answered(fileFrame("1772366400", gpuStatus), now)),
        seenNow({"ci", ""},
                MachineLink::from({255, "", "ssh: connect to host ci port 22: Connection refused"},
                                  now)),
        seenNow({"new", ""}, {}),
        // Its clock runs 10 minutes behind ours, and its daemon polled 2 s before it
        // printed the clock, a second before now: by our clock the daemon would look
        // dead. (Ahead of ours: the real-sshd test.)
        seenNow({"old", ""},
                answered(fileFrame("1772365798", statusAt("2026-03-01T11:49:56Z", 1, "ok")),
                         now - std::chrono::seconds(1))),
    };

    // No other machine: exactly this machine's look and menu.
    EXPECT_EQ(AllMachines::presentation(localLook, localState, localSessions, {}, false, utc),
              localLook);
    const StatusMenu localMenu =
        StatusMenu::build(local, localState, {}, std::nullopt, now, utc, MenuFacts{});
    EXPECT_EQ(AllMachines::menu(localMenu, {}, {}, true, false, {}, utc), localMenu);
    // The app's menu differs by the one item after "Settings...".
    auto withItem = AllMachines::menu(localMenu, {}, {}, true, true, {}, utc).entries;
    const auto item = std::ranges::find(withItem, MenuAction::openMachines, &MenuEntry::action);
    ASSERT_NE(item, withItem.end());
    EXPECT_EQ((item - 1)->title, "Settings...");
    EXPECT_EQ(item->title, "Machines\u2026");
    withItem.erase(item);
    EXPECT_EQ(withItem, localMenu.entries);

    const auto look =
        AllMachines::presentation(localLook, localState, localSessions, others, false, utc);
    EXPECT_EQ(look,
              (StatusItemPresentation{"eye.trianglebadge.exclamationmark", "91%", Tone::critical,
                                      "This machine: Daemon running (last poll 1s ago)\n"
                                      "GPU: Daemon running (last poll 1s ago)\n"
                                      "ci: Unreachable: connection refused\n"
                                      "new: Connecting...\n"
                                      "old: Daemon running (last poll 3s ago)"}));

    const StatusMenu all = AllMachines::menu(localMenu, others, {}, true, false, {}, utc);
    EXPECT_EQ(all.entries.front().title, "This machine");
    // The remote session is shown but not focusable here, and says why.
    const auto remoteSession = std::ranges::find_if(
        all.entries, [](const MenuEntry& e) { return e.title.find("91%") != std::string::npos; });
    ASSERT_NE(remoteSession, all.entries.end());
    EXPECT_EQ(remoteSession->action, MenuAction::none);
    EXPECT_NE(remoteSession->tooltip->find(AllMachines::noFocusReason), std::string::npos);
    EXPECT_EQ(all.sessionsByTag.size(), 1u);
    EXPECT_EQ(std::ranges::count(all.entries, MenuAction::openMachineTerminal, &MenuEntry::action),
              4);
}
