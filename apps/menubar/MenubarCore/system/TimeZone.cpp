#include "TimeZone.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unicode/simpletz.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace menubar {

namespace {

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

// Whole milliseconds since the epoch, rounded down so that the last microsecond
// of a minute still belongs to that minute.
UDate udate(Instant instant) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(instant);
    return static_cast<UDate>(ms.time_since_epoch().count());
}

// Minutes since local midnight, from the zone's offset at that instant: the same
// hour and minute a Gregorian calendar gives, without building a calendar (and
// loading its locale data) for every clock text of every poll. A failure, which
// ICU only reports for dates far outside any status file, reads as UTC.
int minuteOfDay(const icu::TimeZone& zone, Instant instant) {
    const UDate at = udate(instant);
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone.getOffset(at, false, raw, dst, status);
    if (U_FAILURE(status))
        raw = dst = 0;
    const auto local = static_cast<std::int64_t>(at) + raw + dst;
    constexpr std::int64_t msPerMinute = 60 * 1000;
    constexpr std::int64_t minutesPerDay = 24 * 60;
    std::int64_t minutes = local / msPerMinute - (local % msPerMinute < 0 ? 1 : 0);
    minutes %= minutesPerDay;
    return static_cast<int>(minutes < 0 ? minutes + minutesPerDay : minutes);
}

} // namespace

TimeZone::TimeZone(std::shared_ptr<const icu::TimeZone> zone, std::string identifier)
    : zone_(std::move(zone)), identifier_(std::move(identifier)) {}

std::optional<TimeZone> TimeZone::named(std::string_view ianaId) {
    const auto id = icu::UnicodeString::fromUTF8(
        icu::StringPiece(ianaId.data(), static_cast<int32_t>(ianaId.size())));
    std::shared_ptr<const icu::TimeZone> zone(icu::TimeZone::createTimeZone(id));
    // ICU answers an unknown id with its "Etc/Unknown" zone rather than nothing.
    if (!zone || *zone == icu::TimeZone::getUnknown())
        return std::nullopt;
    return TimeZone(std::move(zone), std::string(ianaId));
}

TimeZone TimeZone::fixedOffset(int seconds) {
    const int minutes = seconds / 60;
    const int magnitude = std::abs(minutes);
    char id[32];
    std::snprintf(id, sizeof id, "GMT%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    auto zone = std::make_shared<icu::SimpleTimeZone>(minutes * 60 * 1000,
                                                      icu::UnicodeString::fromUTF8(id));
    return TimeZone(std::move(zone), id);
}

TimeZone TimeZone::current() {
    std::shared_ptr<const icu::TimeZone> zone(icu::TimeZone::createDefault());
    icu::UnicodeString id;
    zone->getID(id);
    return TimeZone(std::move(zone), utf8(id));
}

int TimeZone::hour(Instant instant) const {
    return minuteOfDay(*zone_, instant) / 60;
}

int TimeZone::minute(Instant instant) const {
    return minuteOfDay(*zone_, instant) % 60;
}

} // namespace menubar
