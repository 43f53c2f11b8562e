// The tray polling hostile status files on a real disk: every wrong type at every
// key, every cut of a valid file, files past the size limit and a file replaced
// while the polls run. Each poll must show "Status file unreadable" with the
// reason on the detail line, and the next good file must show again.

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <set>
#include <thread>

#include <unicode/unistr.h>

#include "../StatusFaultTable.hpp"
#include "StatusMenuTestSupport.hpp"

using namespace menubar::faults;
using namespace status_menu_test;

namespace {

// Between polls in one thread it makes no difference how a file is replaced,
// and ext4 flushes a file renamed over another to disk: these are written in place.
void rewrite(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One timer tick, then the menu items it replaced are really deleted, as the
// event loop would between ticks.
void poll(StatusMenuController& controller) {
    controller.tick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The detail line as the menu shows it: "&" doubled so it is not a mnemonic.
QString shown(const std::string& reason) {
    return QString::fromStdString(reason).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The reason the controller shows, or why it shows none.
QString detail(StatusMenuController& controller) {
    const QString tooltip = controller.statusItem()->toolTip();
    const QStringList items = titles(controller.menu());
    if (tooltip != "Status file unreadable" || items.value(0) != tooltip)
        return "<not unreadable: " + tooltip + ">";
    // A reason too long for the screen is elided there and whole in the tooltip.
    const QAction* item = controller.menu()->actions().value(1);
    if (item->text().endsWith(QChar(0x2026)))
        return shown(item->toolTip().section('\n', 0, 0).toStdString());
    return items.value(1);
}

std::string reasonOf(const StatusSnapshot& snapshot) {
    const auto* unreadable = std::get_if<StatusSnapshot::Unreadable>(&snapshot.value());
    return unreadable ? unreadable->reason : "";
}

} // namespace

class StatusFaultsTest : public QObject {
    Q_OBJECT

private slots:
    // One tray through the document with every key, a null at each key (taken
    // as absent), every wrong type and every cut of it: each poll shows the
    // reason of the file it read. Good files taking turns with bad ones are below.
    void everyHostileFileShowsItsReasonAndAGoodFileShowsAgain() {
        Harness harness;
        const std::string good = fullDocument().dump();
        rewrite(harness.statusPath, good);
        const auto controller = harness.started();
        const StatusFile* file = controller->snapshot().file();
        QVERIFY(file && file->sessions.size() == 2 && file->sessions[1].handoff);
        QCOMPARE(file->sessions[1].handoff->path, std::string("web & docs \"naïve\" ✓ 🚀"));
        for (const Record& record : statusRecords())
            for (const Key& key : record.keys) {
                Json document = fullDocument();
                document[Json::json_pointer(pointerTo(joined(record.path, key.name)))] = nullptr;
                rewrite(harness.statusPath, document.dump());
                poll(*controller);
                QVERIFY2(controller->snapshot().file(), qPrintable(detail(*controller)));
            }
        for (const Fault& fault : statusFaults()) {
            rewrite(harness.statusPath, withFault(fault));
            poll(*controller);
            QCOMPARE(detail(*controller), shown(fault.reason));
        }
        for (std::size_t length = 0; length < good.size(); ++length) {
            rewrite(harness.statusPath, good.substr(0, length));
            poll(*controller);
            const std::string reason = reasonOf(controller->snapshot());
            QVERIFY2(reason.starts_with("parse error at "), reason.c_str());
            QVERIFY2(reason.find('\n') == std::string::npos, reason.c_str());
            std::string roundTrip;
            QVERIFY2(icu::UnicodeString::fromUTF8(reason).toUTF8String(roundTrip) == reason,
                     "the reason is well-formed UTF-8");
            QCOMPARE(detail(*controller), shown(reason));
        }
    }

    // Sparse files, growing: the disk holds a few bytes however large each claims to
    // be. At the limit the file is read: it is "{}" and then NUL bytes.
    void filesPastTheSizeLimitAreRefused() {
        const auto limit = static_cast<std::uintmax_t>(StatusFileLocator::sizeLimit);
        const std::pair<std::uintmax_t, QString> rows[] = {
            {limit, "parse error at byte 3: syntax error - a NUL byte is not allowed in JSON"},
            {limit + 1, "status file is too large (16777217 bytes; the limit is 16 MiB)"},
            {std::uintmax_t{1} << 40,
             "status file is too large (1099511627776 bytes; the limit is 16 MiB)"}};
        Harness harness;
        rewrite(harness.statusPath, "{}");
        const auto controller = harness.started();
        for (const auto& [size, reason] : rows) {
            std::error_code error;
            std::filesystem::resize_file(harness.statusPath, size, error);
            if (error)
                QSKIP("this file system does not hold sparse files that large");
            poll(*controller);
            QCOMPARE(detail(*controller), reason);
        }
    }

    void aFileReplacedWhilePollsRunShowsOneWholeVersion_data() {
        QTest::addColumn<bool>("atomically");
        QTest::newRow("renamed over") << true;
        QTest::newRow("rewritten in place") << false;
    }

    // Two good versions and two bad ones take turns while the tray polls. Renamed
    // over, every poll shows exactly one version; rewritten in place, a poll may
    // also catch a part of one, which must show as unreadable.
    void aFileReplacedWhilePollsRunShowsOneWholeVersion() {
        QFETCH(bool, atomically);
        Harness harness;
        Json other = fullDocument();
        other["sessions"].push_back(other["sessions"][0]);
        const std::vector<Fault> faults = statusFaults();
        const Fault& wrongType = faults.back();
        const std::vector<std::string> versions = {fullDocument().dump(), withFault(wrongType),
                                                   other.dump(2), "{\"at\":\"noon\"}"};
        const std::set<std::string> wholeReasons = {wrongType.reason,
                                                    "Unrecognised ISO-8601 date: noon"};
        harness.write(versions[0]);

        std::atomic<int> written = 0;
        // Stopped and joined however the test leaves, a failed check included.
        const std::jthread writer([&](const std::stop_token& stop) {
            for (std::size_t i = 1; !stop.stop_requested(); ++i) {
                const std::string& bytes = versions[i % versions.size()];
                atomically ? harness.write(bytes) : rewrite(harness.statusPath, bytes);
                ++written;
                std::this_thread::yield();
            }
        });

        const auto controller = harness.started();
        int loaded = 0;
        int seenWritten = written;
        for (int polls = 0; polls < 300; ++polls) {
            // At least one new version between two polls, however the threads are scheduled.
            while (written == seenWritten)
                std::this_thread::yield();
            seenWritten = written;
            poll(*controller);
            if (const StatusFile* file = controller->snapshot().file()) {
                QVERIFY(!atomically || file->sessions.size() == 2 || file->sessions.size() == 3);
                ++loaded;
                continue;
            }
            const std::string reason = reasonOf(controller->snapshot());
            QCOMPARE(detail(*controller), shown(reason));
            // In place, a poll may read any mix of the old and the new bytes.
            QVERIFY2(!atomically || wholeReasons.contains(reason), reason.c_str());
        }
        // Half the versions are good: 300 polls that never met one would mean the
        // writer never got through.
        QVERIFY(!atomically || (loaded > 0 && loaded < 300));
    }
};

QTEST_MAIN(StatusFaultsTest)
#include "test_status_faults.moc"
