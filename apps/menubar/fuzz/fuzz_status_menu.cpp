// One poll cycle on hostile bytes: the status file read through the locator,
// then daemon state, the item's look and the whole menu, for both looks and two
// zones. Whatever the file holds, the cycle must end in a value the app can show:
// no crash, no exception other than the decoder's own, and only well-formed text.

#include "FuzzSupport.hpp"
#include "status/DaemonState.hpp"
#include "status/IconGlyphs.hpp"
#include "status/StatusDecoder.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"
#include "status/Visibility.hpp"
#include "system/TimeZone.hpp"

using namespace menubar;
using namespace menubar::fuzz;

namespace {

const TimeZone& oddZone() {
    // A zone with a 45-minute offset catches arithmetic that assumes whole hours.
    static const TimeZone zone = TimeZone::named("Asia/Kathmandu").value_or(TimeZone::utc());
    return zone;
}

void checkMenu(const StatusMenu& menu, std::size_t sessionCount) {
    require(!menu.entries.empty(), "the menu is never empty");
    require(menu.sessionsByTag.size() == sessionCount, "every session has exactly one item");
    for (const MenuEntry& entry : menu.entries) {
        require(isWellFormedUTF8(entry.title), "menu titles are well-formed UTF-8");
        require(!entry.tooltip || isWellFormedUTF8(*entry.tooltip),
                "menu tooltips are well-formed UTF-8");
        require(entry.tag == 0 || menu.sessionsByTag.contains(entry.tag),
                "a tagged item names a session");
    }
}

void cycle(const StatusSnapshot& snapshot, Instant now, const TimeZone& zone, bool compact) {
    const DaemonState state = DaemonState::from(snapshot, now);
    const StatusFile* file = snapshot.file();
    const std::vector<SessionStatus> none;
    const auto& sessions = file ? file->sessions : none;

    const auto look = StatusItemPresentation::make(state, sessions, compact, zone);
    require(isWellFormedUTF8(look.title) && isWellFormedUTF8(look.tooltip),
            "the item's title and tooltip are well-formed UTF-8");
    // Every title the item can show is drawn from the built-in outlines, never
    // through the font stack.
    require(look.title.empty() || IconGlyphs::outline(look.title).has_value(),
            "the item's title has built-in outlines");

    MenuFacts facts;
    facts.handoffExists = [](const std::string& path) { return path.size() % 2 == 0; };
    facts.logsDirectoryExists = compact;
    facts.statusFileExists = true;
    facts.service = {compact ? ServiceManager::launchd : ServiceManager::systemd, !compact};
    const CompactSetting setting{compact, CompactSetting::Source::defaults};
    const std::optional<Instant> hiddenSince =
        compact ? std::optional<Instant>(now - std::chrono::minutes(7)) : std::nullopt;
    const auto menu = StatusMenu::build(snapshot, state, setting, hiddenSince, now, zone, facts);
    checkMenu(menu, sessions.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const FileSystem fileSystem{
        .exists = [](const std::string&) { return true; },
        .readFile = [&bytes](const std::string&, std::uint64_t) -> FileReadResult { return bytes; },
        .isExecutable = [](const std::string&) { return false; },
    };
    const StatusSnapshot snapshot = StatusFileLocator::load("/status.json", fileSystem);

    if (const auto* unreadable = std::get_if<StatusSnapshot::Unreadable>(&snapshot.value()))
        require(!unreadable->reason.empty() && isWellFormedUTF8(unreadable->reason),
                "an unreadable file always says why, in well-formed text");

    // A fixed instant, and one just after the file's own poll so that the
    // running branch with its live texts is reached as often as the stale one.
    const Instant fixed{std::chrono::seconds(1'750'000'000)};
    cycle(snapshot, fixed, TimeZone::utc(), false);
    if (const StatusFile* file = snapshot.file(); file && file->at)
        cycle(snapshot, *file->at + std::chrono::seconds(1), oddZone(), true);
    return 0;
}
