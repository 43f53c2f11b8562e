#include "TimeZone.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace menubar {

namespace {

class FixedRules final : public TimeZone::Rules {
public:
    explicit FixedRules(std::int64_t milliseconds) : milliseconds_(milliseconds) {}
    std::int64_t offsetMilliseconds(std::int64_t) const override { return milliseconds_; }

private:
    std::int64_t milliseconds_;
};

// The C library's local time. current() calls tzset(), so a change of the
// system's zone counts from the next refresh on, as the rest of the desktop sees it.
class SystemRules final : public TimeZone::Rules {
public:
    std::int64_t offsetMilliseconds(std::int64_t utcMilliseconds) const override {
        const std::int64_t seconds = utcMilliseconds / 1000 - (utcMilliseconds % 1000 < 0 ? 1 : 0);
        const auto clock = static_cast<std::time_t>(seconds);
        std::tm fields{};
        if (localtime_r(&clock, &fields) == nullptr)
            return 0;
        return static_cast<std::int64_t>(fields.tm_gmtoff) * 1000;
    }
};

// The IANA name of the system's zone, where it can be told: TZ as the C library
// reads it, else the zoneinfo file /etc/localtime links to.
std::string systemZoneName() {
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0')
        return tz[0] == ':' ? std::string(tz + 1) : std::string(tz);
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/etc/localtime", error).generic_string();
    const auto marker = target.find("zoneinfo/");
    if (!error && marker != std::string::npos)
        return target.substr(marker + std::string_view("zoneinfo/").size());
    return "localtime";
}

} // namespace

TimeZone::TimeZone(std::shared_ptr<const Rules> rules, std::string identifier)
    : rules_(std::move(rules)), identifier_(std::move(identifier)) {}

TimeZone TimeZone::fixedOffset(int seconds) {
    const int minutes = seconds / 60;
    const int magnitude = std::abs(minutes);
    char id[32];
    std::snprintf(id, sizeof id, "GMT%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return TimeZone(std::make_shared<FixedRules>(std::int64_t{minutes} * 60 * 1000), id);
}

TimeZone TimeZone::current() {
    tzset();
    static const auto rules = std::make_shared<const SystemRules>();
    return TimeZone(rules, systemZoneName());
}

// Minutes since local midnight, from the zone's offset at that instant: the same
// hour and minute a Gregorian calendar gives, without building a calendar for
// every clock text of every poll. Whole milliseconds are rounded down, so that
// the last microsecond of a minute still belongs to that minute.
int TimeZone::minuteOfDay(Instant instant) const {
    const std::int64_t at =
        std::chrono::floor<std::chrono::milliseconds>(instant).time_since_epoch().count();
    const std::int64_t local = at + rules_->offsetMilliseconds(at);
    constexpr std::int64_t msPerMinute = 60 * 1000;
    constexpr std::int64_t minutesPerDay = 24 * 60;
    std::int64_t minutes = local / msPerMinute - (local % msPerMinute < 0 ? 1 : 0);
    minutes %= minutesPerDay;
    return static_cast<int>(minutes < 0 ? minutes + minutesPerDay : minutes);
}

int TimeZone::hour(Instant instant) const {
    return minuteOfDay(instant) / 60;
}

int TimeZone::minute(Instant instant) const {
    return minuteOfDay(instant) % 60;
}

} // namespace menubar
