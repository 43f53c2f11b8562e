// TimeZone::named in a file of its own: it is the one part of the zones that
// needs ICU's i18n library, and a program that never names a zone then never
// links it.

#include "TimeZone.hpp"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace menubar {

namespace {

class IcuRules final : public TimeZone::Rules {
public:
    explicit IcuRules(std::unique_ptr<icu::TimeZone> zone) : zone_(std::move(zone)) {}

    // A failure, which ICU only reports for dates far outside any status file,
    // reads as UTC.
    std::int64_t offsetMilliseconds(std::int64_t utcMilliseconds) const override {
        int32_t raw = 0;
        int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        zone_->getOffset(static_cast<UDate>(utcMilliseconds), false, raw, dst, status);
        return U_FAILURE(status) ? 0 : std::int64_t{raw} + dst;
    }

private:
    std::unique_ptr<icu::TimeZone> zone_;
};

} // namespace

std::optional<TimeZone> TimeZone::named(std::string_view ianaId) {
    const auto id = icu::UnicodeString::fromUTF8(
        icu::StringPiece(ianaId.data(), static_cast<int32_t>(ianaId.size())));
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(id));
    // ICU answers an unknown id with its "Etc/Unknown" zone rather than nothing.
    if (!zone || *zone == icu::TimeZone::getUnknown())
        return std::nullopt;
    return TimeZone(std::make_shared<IcuRules>(std::move(zone)), std::string(ianaId));
}

} // namespace menubar
