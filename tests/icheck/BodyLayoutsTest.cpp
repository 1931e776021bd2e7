// The body rewrites of the import, by layout: what a rewritten body holds byte for byte when names
// shrink and grow, and how a body whose lengths point outside it is refused before anything of
// it is read or copied.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "icheck/GroupEntryBody.h"
#include "icheck/JobBody.h"
#include "icheck/ScenarioBody.h"
#include "support/ICheckBodies.h"

namespace KvMigration {
namespace {

using KvTest::Bytes;
using KvTest::Filler;
using KvTest::Utf16;

const Bytes kOldSid = KvTest::Sid(5, {21, 1004336348, 1177238915, 682003330, 1106});
const Bytes kNewSid = KvTest::Sid(5, {21, 7, 8, 9, 1201});
const Bytes kShortSid = KvTest::Sid(5, {32, 544});

// Runs `read` and returns the description of the error object it raises (empty when none).
template <typename Read>
std::wstring Refusal(Read&& read) {
    try {
        read();
    } catch (const KvBase::CKvError& e) {
        return e.Description();
    }
    return L"";
}

TEST(GroupEntryBody, ReadsKindNameSidAndClientsList) {
    KvTest::GroupEntry entry;
    entry.kind = 1;
    entry.sidField = kOldSid;
    entry.blockA = Filler(12, 1);
    entry.name = Utf16(L"WS01");
    entry.blockB = Utf16(L"Accounting");
    entry.clients = KvTest::ClientsList(2, 9);
    const Bytes body = KvTest::MakeGroupEntry(entry);
    GroupEntryBody reader(body);
    EXPECT_EQ(reader.Kind(), 1u);
    EXPECT_EQ(reader.Name(), L"WS01");
    EXPECT_EQ(reader.ClientSid(), kOldSid);
    EXPECT_EQ(reader.ClientsList(), entry.clients);
}

TEST(GroupEntryBody, DefaultGroupTakesTheTargetsClientsList) {
    struct Case {
        const char* title;
        Bytes fileClients;
        Bytes targetClients;
    };
    const std::vector<Case> cases = {
        {"a longer list replaces a shorter one", KvTest::ClientsList(1, 3),
         KvTest::ClientsList(4, 5)},
        {"a shorter list replaces a longer one", KvTest::ClientsList(6, 3),
         KvTest::ClientsList(1, 5)},
        {"the target had no default group", KvTest::ClientsList(2, 3), Bytes(4, 0)},
        {"the file's group had no list", Bytes(), KvTest::ClientsList(2, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::GroupEntry entry;
        entry.blockA = Filler(5, 2);
        entry.name = Utf16(L"KorvantICheckDefault");
        entry.blockB = Filler(7, 4);
        entry.clients = c.fileClients;
        const Bytes body = KvTest::MakeGroupEntry(entry);
        entry.clients = c.targetClients;
        EXPECT_EQ(GroupEntryBody(body).WithClientsList(c.targetClients),
                  KvTest::MakeGroupEntry(entry));
    }
}

TEST(GroupEntryBody, ClientEntryTakesTheTargetsSidAndNameKeepingItsTexts) {
    struct Case {
        const char* title;
        std::wstring oldName;
        std::wstring newName;
        Bytes newSid;
        Bytes oldB;
        Bytes expectedB;  // the B block of the rewritten body
    };
    Bytes commentWithGarbage = Utf16(L"Room 12");
    KvTest::Append(commentWithGarbage, Filler(6, 8));  // behind the text's terminator
    Bytes expectedComment = Utf16(L"Room 12");
    expectedComment.resize(commentWithGarbage.size(), 0);
    Bytes oddUnterminated = Utf16(L"abc", false);
    oddUnterminated.push_back(0x41);
    Bytes oddExpected = Utf16(L"abc", false);
    oddExpected.push_back(0);
    const std::vector<Case> cases = {
        {"a longer name grows the body", L"WS01", L"ws01.corp.local", kNewSid, Utf16(L"Room 12"),
         Utf16(L"Room 12")},
        {"a shorter name shrinks it", L"workstation-01.branch.corp.local", L"ws01", kNewSid,
         Utf16(L"Room 12"), Utf16(L"Room 12")},
        {"a shorter SID leaves zeros in the rest of its field", L"WS01", L"ws01", kShortSid,
         Utf16(L""), Utf16(L"")},
        {"what follows the text's terminator in B becomes zero", L"WS01", L"ws01", kNewSid,
         commentWithGarbage, expectedComment},
        {"a text filling B without a terminator keeps B/2 characters", L"WS01", L"ws01", kNewSid,
         oddUnterminated, oddExpected},
        {"an empty B block", L"WS01", L"ws01", kNewSid, Bytes(), Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::GroupEntry entry;
        entry.kind = 1;
        entry.sidField = kOldSid;
        entry.blockA = Filler(9, 6);
        entry.name = Utf16(c.oldName);
        entry.blockB = c.oldB;
        entry.clients = Filler(10, 11);  // not carried over
        const Bytes body = KvTest::MakeGroupEntry(entry);

        KvTest::GroupEntry expected = entry;
        expected.sidField = c.newSid;
        expected.name = Utf16(c.newName);
        expected.blockB = c.expectedB;
        expected.clients.clear();
        EXPECT_EQ(GroupEntryBody(body).ForClient(c.newSid, c.newName),
                  KvTest::MakeGroupEntry(expected));
    }
}

TEST(GroupEntryBody, LengthsOutsideTheBodyAreRefusedBeforeAnythingIsRead) {
    KvTest::GroupEntry entry;
    entry.kind = 1;
    entry.sidField = kOldSid;
    entry.blockA = Filler(8, 1);
    entry.name = Utf16(L"WS01");
    entry.blockB = Utf16(L"x");
    const Bytes good = KvTest::MakeGroupEntry(entry);
    auto with = [&](size_t offset, uint32_t value) {
        Bytes body = good;
        KvTest::PutLe32(body, offset, value);
        return body;
    };
    Bytes badSid = good;
    badSid[21] = 16;  // more sub-authorities than the field holds
    struct Case {
        const char* title;
        Bytes body;
        std::function<void(const GroupEntryBody&)> read;
        std::wstring expected;
    };
    auto name = [](const GroupEntryBody& b) { b.Name(); };
    auto list = [](const GroupEntryBody& b) { b.ClientsList(); };
    auto client = [](const GroupEntryBody& b) { b.ForClient(kNewSid, L"ws01"); };
    auto group = [](const GroupEntryBody& b) { b.WithClientsList(Bytes(4, 0)); };
    auto sid = [](const GroupEntryBody& b) { b.ClientSid(); };
    const std::wstring size = std::to_wstring(good.size());
    const std::vector<Case> cases = {
        {"no room for the lengths", Bytes(good.begin(), good.begin() + 99), name,
         L"The body of 99 bytes is damaged: the length B of the block after the name (4 bytes "
         L"at offset 96) lies outside it."},
        {"A near 4 GiB", with(88, 0xFFFFFFFF), name,
         L"The body of " + size +
             L" bytes is damaged: the name (10 bytes at offset 4294967395) "
             L"lies outside it."},
        {"N past the end", with(92, 1000), name,
         L"The body of " + size +
             L" bytes is damaged: the name (1000 bytes at offset 108) lies "
             L"outside it."},
        {"B past the end, reading the list", with(96, 0xFFFFFFF0), list,
         L"The body of " + size +
             L" bytes is damaged: the block after the name (4294967280 "
             L"bytes at offset 118) lies outside it."},
        {"B past the end, rewriting a client", with(96, 40), client,
         L"The body of " + size +
             L" bytes is damaged: the block after the name (40 bytes at "
             L"offset 118) lies outside it."},
        {"B past the end, rewriting the default group", with(96, 40), group,
         L"The body of " + size +
             L" bytes is damaged: the block after the name (40 bytes at "
             L"offset 118) lies outside it."},
        {"a SID that runs past its field", badSid, sid, L"The security ID structure is invalid."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Refusal([&] { c.read(GroupEntryBody(c.body)); }), c.expected);
    }
}

TEST(JobBody, RenamesShrinkingAndGrowingAndDropsWhatFollowsTheBlock) {
    struct Case {
        const char* title;
        std::wstring oldName;
        std::wstring newName;
    };
    const std::vector<Case> cases = {
        {"grows", L"Задание для контроля ресурсов Korvant",
         L"Задание для контроля ресурсов Korvant Suite"},
        {"shrinks", L"Задание для контроля ресурсов Korvant", L"Job"},
        {"empty name", L"", L"Korvant Suite resources control job"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::Job job{Filler(3, 1), Filler(11, 2), Utf16(c.oldName), Filler(13, 3), Filler(5, 4)};
        const Bytes body = KvTest::MakeJob(job);
        EXPECT_EQ(JobBody(body).Name(), c.oldName);
        job.name = Utf16(c.newName);
        job.tail.clear();
        EXPECT_EQ(JobBody(body).Renamed(c.newName), KvTest::MakeJob(job));
    }
}

TEST(JobBody, LengthsOutsideTheBodyAreRefused) {
    const Bytes good =
        KvTest::MakeJob({Filler(3, 1), Filler(4, 2), Utf16(L"Job"), Filler(6, 3), Bytes()});
    auto with = [&](size_t offset, uint32_t value) {
        Bytes body = good;
        KvTest::PutLe32(body, offset, value);
        return body;
    };
    const std::wstring size = std::to_wstring(good.size());
    struct Case {
        const char* title;
        Bytes body;
        bool rename;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {"no room for R", Bytes(good.begin(), good.begin() + 72), false,
         L"The body of 72 bytes is damaged: the length R of the block after the name (4 bytes at "
         L"offset 69) lies outside it."},
        {"X1 and X2 near 4 GiB each", with(61, 0xFFFFFFFF), false,
         L"The body of " + size +
             L" bytes is damaged: the name (8 bytes at offset 4294967371) lies outside it."},
        {"R past the end", with(69, 7), true,
         L"The body of " + size +
             L" bytes is damaged: the block after the name (7 bytes at offset 88) lies outside "
             L"it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Refusal([&] {
                      JobBody job(c.body);
                      c.rename ? static_cast<void>(job.Renamed(L"x"))
                               : static_cast<void>(job.Name());
                  }),
                  c.expected);
    }
}

TEST(ScenarioBody, TakesTheNewNameAndTextAndDropsTheOldText) {
    struct Case {
        const char* title;
        std::wstring newName;
        std::wstring newText;
    };
    const std::vector<Case> cases = {
        {"longer", L"Korvant Suite resources control",
         L"<Sequence>\n  <Step>check</Step>\n</Sequence>"},
        {"shorter", L"R", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::Scenario scenario{Filler(7, 1), Utf16(L"Контроль ресурсов Korvant"), Filler(9, 2),
                                  Utf16(L"old steps")};
        const Bytes body = KvTest::MakeScenario(scenario);
        EXPECT_EQ(ScenarioBody(body).Name(), L"Контроль ресурсов Korvant");
        scenario.name = Utf16(c.newName);
        scenario.text = Utf16(c.newText);
        EXPECT_EQ(ScenarioBody(body).Rewritten(c.newName, c.newText),
                  KvTest::MakeScenario(scenario));
    }
}

TEST(ScenarioBody, LengthsOutsideTheBodyAreRefused) {
    const Bytes good = KvTest::MakeScenario({Filler(2, 1), Utf16(L"S"), Filler(3, 2), Utf16(L"t")});
    auto with = [&](size_t offset, uint32_t value) {
        Bytes body = good;
        KvTest::PutLe32(body, offset, value);
        return body;
    };
    const std::wstring size = std::to_wstring(good.size());
    struct Case {
        const char* title;
        Bytes body;
        bool rewrite;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {"no room for S", Bytes(good.begin(), good.begin() + 31), false,
         L"The body of 31 bytes is damaged: the length S of the scenario text (4 bytes at offset "
         L"28) lies outside it."},
        {"A past the end", with(16, 0x80000000), false,
         L"The body of " + size +
             L" bytes is damaged: the name (4 bytes at offset 2147483680) lies outside it."},
        {"B past the end", with(24, 0xFFFFFFFF), true,
         L"The body of " + size +
             L" bytes is damaged: the block after the name (4294967295 bytes at offset 38) lies "
             L"outside it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Refusal([&] {
                      ScenarioBody scenario(c.body);
                      c.rewrite ? static_cast<void>(scenario.Rewritten(L"n", L"t"))
                                : static_cast<void>(scenario.Name());
                  }),
                  c.expected);
    }
}

}  // namespace
}  // namespace KvMigration
