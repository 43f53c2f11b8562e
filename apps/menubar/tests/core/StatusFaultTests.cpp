// Hostile status files, generated from the table of records and keys: each must
// come out as unreadable with the reason the user is shown, never as a partial
// file and never as a crash.

#include <string>

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include "../StatusFaultTable.hpp"
#include "StatusDecoder.hpp"

using namespace menubar;
using namespace menubar::faults;

namespace {

StatusSnapshot loadBytes(const std::string& bytes) {
    const FileSystem fake{
        .exists = [](const std::string&) { return true; },
        .readFile = [&bytes](const std::string&, std::uint64_t) -> FileReadResult { return bytes; },
        .isExecutable = [](const std::string&) { return false; },
    };
    return StatusFileLocator::load("/status.json", fake);
}

std::string reasonFor(const std::string& bytes) {
    const StatusSnapshot snapshot = loadBytes(bytes);
    const auto* unreadable = std::get_if<StatusSnapshot::Unreadable>(&snapshot.value());
    return unreadable ? unreadable->reason : "<not unreadable>";
}

bool wellFormedUTF8(const std::string& text) {
    std::string roundTrip;
    return icu::UnicodeString::fromUTF8(text).toUTF8String(roundTrip) == text;
}

} // namespace

TEST(StatusFaults, TheFullDocumentAndNullAtEveryKeyDecode) {
    const Json full = fullDocument();
    const StatusSnapshot snapshot = loadBytes(full.dump(2));
    ASSERT_NE(snapshot.file(), nullptr) << reasonFor(full.dump(2));
    EXPECT_EQ(snapshot.file()->sessions.size(), 2u);
    ASSERT_TRUE(snapshot.file()->sessions[1].handoff.has_value());
    EXPECT_EQ(snapshot.file()->sessions[1].handoff->path, "web & docs \"naïve\" ✓ 🚀");

    for (const Record& record : statusRecords()) {
        for (const Key& key : record.keys) {
            Json document = full;
            document[Json::json_pointer(pointerTo(joined(record.path, key.name)))] = nullptr;
            EXPECT_NE(loadBytes(document.dump()).file(), nullptr)
                << joined(record.path, key.name) << ": " << reasonFor(document.dump());
        }
    }
}

TEST(StatusFaults, EveryWrongTypeAtEveryKeyGivesItsReason) {
    const std::vector<Fault> faults = statusFaults();
    // Each record's keys, each given every other type: far more than a handful.
    ASSERT_GT(faults.size(), 250u);
    for (const Fault& fault : faults)
        EXPECT_EQ(reasonFor(withFault(fault)), fault.reason)
            << fault.pointer << " = " << fault.value.dump();
}

TEST(StatusFaults, ACutAtEveryByteGivesTheParserMessageOnOneLine) {
    const std::string whole = fullDocument().dump(2);
    ASSERT_NE(loadBytes(whole).file(), nullptr);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string reason = reasonFor(whole.substr(0, length));
        ASSERT_TRUE(reason.starts_with("parse error at ")) << length << ": " << reason;
        ASSERT_EQ(reason.find('\n'), std::string::npos) << length << ": " << reason;
        ASSERT_TRUE(wellFormedUTF8(reason)) << length << ": " << reason;
    }
}
