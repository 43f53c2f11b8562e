// The document the status fault table is generated from decodes, whole and with a
// null at any key; the app's fault test gives every wrong type and every cut of it.

#include <string>

#include <gtest/gtest.h>

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
