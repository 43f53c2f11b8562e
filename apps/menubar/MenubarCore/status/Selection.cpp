#include "Selection.hpp"

#include <algorithm>
#include <numeric>
#include <string_view>

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "Formatting.hpp"

namespace menubar::Selection {

namespace {

// The NFC form as UTF-8, whose byte order is the order of Unicode scalar values.
std::string nameKey(std::string_view name) {
    // ASCII is its own normal form.
    if (std::all_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(name);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(name);
    const auto text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
    const icu::UnicodeString normalized = nfc->normalize(text, status);
    if (U_FAILURE(status))
        return std::string(name);
    std::string key;
    normalized.toUTF8String(key);
    return key;
}

// Indices of `count` elements in a stable order of `before`, which compares indices.
template <class Before> std::vector<std::size_t> stableOrder(std::size_t count, Before before) {
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), before);
    return order;
}

// Later instants first; an absent instant is the distant past.
int compareNewestFirst(const std::optional<Instant>& a, const std::optional<Instant>& b) {
    if (a == b)
        return 0;
    return a > b ? -1 : 1;
}

} // namespace

std::vector<SessionStatus> sorted(std::vector<SessionStatus> sessions) {
    std::vector<std::string> names;
    names.reserve(sessions.size());
    for (const auto& session : sessions)
        names.push_back(nameKey(session.displayName()));
    const auto order = stableOrder(sessions.size(), [&](std::size_t a, std::size_t b) {
        const double pctA = sessions[a].contextPct.value_or(-1.0);
        const double pctB = sessions[b].contextPct.value_or(-1.0);
        if (pctA != pctB)
            return pctA > pctB;
        const int rankA = rank(sessions[a].level);
        const int rankB = rank(sessions[b].level);
        if (rankA != rankB)
            return rankA > rankB;
        return names[a] < names[b];
    });
    std::vector<SessionStatus> result;
    result.reserve(sessions.size());
    for (const std::size_t index : order)
        result.push_back(std::move(sessions[index]));
    return result;
}

std::optional<SessionStatus> worst(const std::vector<SessionStatus>& sessions) {
    if (sessions.empty())
        return std::nullopt;
    return sorted(sessions).front();
}

std::vector<HandoffItem> handoffItems(const std::vector<SessionStatus>& sessions, Instant now,
                                      const std::function<bool(const std::string&)>& exists) {
    std::vector<const SessionStatus*> withHandoff;
    std::vector<std::string> names;
    for (const auto& session : sessions)
        if (session.handoff) {
            withHandoff.push_back(&session);
            names.push_back(nameKey(session.displayName()));
        }
    const auto order = stableOrder(withHandoff.size(), [&](std::size_t a, std::size_t b) {
        const int byDate = compareNewestFirst(withHandoff[a]->handoff->writtenAt,
                                              withHandoff[b]->handoff->writtenAt);
        if (byDate != 0)
            return byDate < 0;
        return names[a] < names[b];
    });
    std::vector<HandoffItem> items;
    items.reserve(order.size());
    for (const std::size_t index : order) {
        const SessionStatus& session = *withHandoff[index];
        const bool found = exists(session.handoff->path);
        items.push_back(
            {session.handoff->path, Formatting::handoffLine(session, now, found), found});
    }
    return items;
}

std::vector<TessalyEvent> recentEvents(const std::vector<TessalyEvent>& events, std::size_t limit) {
    const auto order = stableOrder(events.size(), [&](std::size_t a, std::size_t b) {
        return compareNewestFirst(events[a].at, events[b].at) < 0;
    });
    std::vector<TessalyEvent> result;
    for (std::size_t i = 0; i < order.size() && i < limit; ++i)
        result.push_back(events[order[i]]);
    return result;
}

} // namespace menubar::Selection
