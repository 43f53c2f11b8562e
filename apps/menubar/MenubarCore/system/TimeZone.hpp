#pragma once

// A time zone for turning instants into wall-clock fields. Logic never asks the
// system for its zone: the app passes TimeZone::current(), tests pass a named or
// fixed-offset zone. Copies are cheap and share one immutable set of rules.
//
// Named zones come from ICU's zone data, the system's own zone from the C
// library (the same tzdata `date` reads), and a fixed offset is arithmetic. Only
// `named` needs ICU's i18n library, so a program that shows the system's clock
// alone (tessaly-bar) never loads it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Instant.hpp"

namespace menubar {

class TimeZone {
public:
    // An IANA zone such as "Europe/Berlin"; absent when ICU does not know the id.
    static std::optional<TimeZone> named(std::string_view ianaId);
    // A zone that is always `seconds` east of UTC (negative: west). Offsets are
    // kept to the whole minute, as zone offsets are.
    static TimeZone fixedOffset(int seconds);
    static TimeZone utc() { return fixedOffset(0); }
    // The zone the system is set to now; for the app only.
    static TimeZone current();

    // The zone's id: the IANA name, or a custom "GMT+hh:mm" id for fixed offsets.
    const std::string& identifier() const { return identifier_; }

    // Gregorian wall-clock fields of an instant in this zone.
    int hour(Instant instant) const;   // 0–23
    int minute(Instant instant) const; // 0–59

    // Zones with the same id are the same zone.
    bool operator==(const TimeZone& other) const { return identifier_ == other.identifier_; }

    // How far east of UTC the zone's clocks are at an instant, in milliseconds
    // since the epoch on both sides.
    class Rules {
    public:
        virtual ~Rules() = default;
        virtual std::int64_t offsetMilliseconds(std::int64_t utcMilliseconds) const = 0;
    };

private:
    TimeZone(std::shared_ptr<const Rules> rules, std::string identifier);
    int minuteOfDay(Instant instant) const;

    std::shared_ptr<const Rules> rules_;
    std::string identifier_;
};

} // namespace menubar
