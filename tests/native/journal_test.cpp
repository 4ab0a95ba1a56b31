#include "register/pure/ChangeLog.h"
#include "register/pure/Journal.h"
#include "RegValues.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cwctype>

namespace {

const std::wstring kClass = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{C}";
const std::wstring kLib = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{L}";

// A registration that created a class, replaced a type library version and changed two values of
// keys that were there, with every awkward name the registry allows.
JournalEntry Registration()
{
    JournalEntry entry{L"C:\\サーバー\\a \"b\" 100%.dll", 32, -2147024891, {}, {}};
    const RegTree server = {{kClass, {Sz(L"", L"Name")}},
                            {kClass + L"\\InprocServer32", {Sz(L"", L"C:\\a.dll"), Sz(L"ThreadingModel", L"Both")}},
                            {kClass + L"\\[odd] = \"key\" %41", {{L"line\r\nbreak", kRegBinary, {}}, {L"", kRegNone, {}}}},
                            {kClass + L"\\Bare", {}}};
    entry.keys.push_back({kClass, std::nullopt, server});
    entry.keys.push_back({kLib + L"\\1.0", RegTree{{kLib + L"\\1.0", {Sz(L"", L"Old")}}},
                          RegTree{{kLib + L"\\1.0", {Sz(L"", L"New"), {L"q", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}}}}}});
    entry.values.push_back({L"HKEY_CURRENT_USER\\Software\\X", L"=\t\"\\", std::nullopt, RegValue{L"=\t\"\\", kRegDword, {1, 0, 0, 0}}});
    entry.values.push_back({L"HKEY_CURRENT_USER\\Software\\X", L"", Sz(L"", L"was"), std::nullopt});
    return entry;
}

bool SameEntry(const JournalEntry& a, const JournalEntry& b)
{
    return a.file == b.file && a.view == b.view && a.code == b.code && a.keys == b.keys && a.values == b.values;
}

} // namespace

TEST(Journal, EveryNameAndValueReadsBackAndADamagedEntryLosesOnlyItself)
{
    const JournalEntry entry = Registration();
    const std::wstring header = JournalRunHeader(L"2026-12-07 11:20:33", JournalKind::Unregister, JournalScope::CurrentUser);
    const std::wstring first = JournalEntryText(entry);
    ASSERT_TRUE(ParseJournalEntry(first));
    EXPECT_TRUE(SameEntry(*ParseJournalEntry(first), entry));

    JournalEntry empty{L"C:\\b.dll", 64, 0, {}, {}};
    const std::wstring text = header + first + JournalEntryText(empty) + first;
    std::optional<JournalRun> run = ParseJournal(text + JournalUndoneLine(L"2026-12-08 09:00:00"));
    ASSERT_TRUE(run);
    EXPECT_TRUE(run->time == L"2026-12-07 11:20:33" && run->kind == JournalKind::Unregister && run->scope == JournalScope::CurrentUser);
    EXPECT_TRUE(run->undone && run->damaged == 0 && run->entries.size() == 3 && run->entries[1].Unchanged());
    std::optional<JournalRun> removal = ParseJournal(JournalRunHeader(L"2026-12-07 11:20:33", JournalKind::Delete, JournalScope::Machine));
    EXPECT_TRUE(removal && removal->kind == JournalKind::Delete);

    // Garbled in the middle: the entries before and after it still read.
    std::wstring garbled = text;
    garbled.replace(garbled.find(L"File: \"C:\\b.dll\"") + 20, 4, L"Viex");
    run = ParseJournal(garbled);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->entries.size(), 2u);
    EXPECT_EQ(run->damaged, 1u);
    EXPECT_TRUE(SameEntry(run->entries[1], entry));

    // Cut anywhere after the header: what is whole reads, what is cut counts as damaged.
    for (size_t cut = header.size(); cut < header.size() + first.size(); cut += 7) {
        run = ParseJournal(text.substr(0, cut));
        ASSERT_TRUE(run) << cut;
        EXPECT_EQ(run->entries.size() + run->damaged, cut > header.size() ? 1u : 0u) << cut;
    }
    EXPECT_FALSE(ParseJournal(header.substr(0, 30)));
    EXPECT_FALSE(ParseJournal(L"Mirdal journal 1" + text.substr(16)));
    EXPECT_FALSE(JournalTextOfBytes({0xFF, 0xFE, 0x41}));
    EXPECT_EQ(JournalTextOfBytes({0xFF, 0xFE, 0x41, 0}), L"A");
}

// Runs stand in the order they were made: a clock put back, or a name of the earlier form stamped later
// by its local time, never puts a new run behind an old one.
TEST(Journal, ANewRunIsAlwaysTheNewestWhateverTheClockSays)
{
    const std::wstring now = L"20261207-022033-123";
    EXPECT_EQ(NextJournalOrder(now, std::nullopt), (JournalOrder{now, 0}));
    EXPECT_EQ(NextJournalOrder(now, JournalOrder{L"20261207-022033-122", 7}), (JournalOrder{now, 0}));
    const JournalOrder ahead{L"20271207-000000-000", 4};
    const JournalOrder next = NextJournalOrder(now, ahead);
    EXPECT_EQ(next, (JournalOrder{ahead.time, 5}));
    EXPECT_EQ(NextJournalOrder(ahead.time, ahead), next);

    const std::wstring made = JournalFileName(next, 4242);
    EXPECT_EQ(made, L"20271207-000000-000Z-5-4242.txt");
    EXPECT_EQ(JournalOrderOf(made), next);
    EXPECT_EQ(JournalOrderOf(L"20261207-112033-123-4567-1.txt"), (JournalOrder{L"20261207-112033-123", 0}));
    for (const wchar_t* junk : {L"99999999-cut.txt", L"x.txt", L"20261207-112033-123Z-x-1.txt", L"20261207-112033-123Z-5.txt",
                                L"2026120a-112033-123-1.txt", L"20261207-112033-123"})
        EXPECT_FALSE(JournalOrderOf(junk)) << junk;

    std::vector<std::wstring> names = {L"junk.txt", JournalFileName(ahead, 1), L"20271207-000000-000-9-1.txt", made,
                                       JournalFileName({ahead.time, 10}, 1), JournalFileName({now, 0}, 2)};
    std::sort(names.begin(), names.end(), JournalNewer);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"20271207-000000-000Z-10-1.txt", made, JournalFileName(ahead, 1),
                                                L"20271207-000000-000-9-1.txt", JournalFileName({now, 0}, 2), L"junk.txt"}));
}

TEST(Journal, KernelKeyNamesBecomeWin32NamesUnderTheUsersOwnRoot)
{
    const std::wstring sid = L"S-1-5-21-1";
    EXPECT_EQ(Win32KeyPath(L"\\REGISTRY\\MACHINE\\Software\\Classes\\Wow6432Node\\CLSID", sid),
              L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\CLSID");
    EXPECT_EQ(Win32KeyPath(L"\\REGISTRY\\USER\\s-1-5-21-1_Classes\\CLSID\\{C}", sid), L"HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{C}");
    EXPECT_EQ(Win32KeyPath(L"\\Registry\\User\\S-1-5-21-1\\Software", sid), L"HKEY_CURRENT_USER\\Software");
    EXPECT_EQ(Win32KeyPath(L"\\REGISTRY\\USER\\S-1-5-21-12\\Software", sid), L"HKEY_USERS\\S-1-5-21-12\\Software");
    EXPECT_EQ(Win32KeyPath(L"\\REGISTRY\\MACHINEX", sid), std::nullopt);
}

// The log keeps each thing's first state; a tree noted later takes in, and undoes, what it holds.
TEST(ChangeLog, FirstStatesOnlyAndATreeNotedLaterTakesInTheChangesWithinIt)
{
    ChangeLog log;
    const std::wstring key = L"HKEY_LOCAL_MACHINE\\Software\\Vendor";
    log.NoteValue(key, L"A", Sz(L"A", L"first"));
    log.NoteValue(key, L"a", Sz(L"a", L"second"));
    log.NoteTree(key + L"\\New", std::nullopt);
    log.NoteValue(key + L"\\NEW", L"x", std::nullopt);
    log.NoteValue(L"HKEY_LOCAL_MACHINE\\Software\\Other", L"B", std::nullopt);
    auto now = [](const std::wstring&) { return std::optional<RegTree>(); };
    auto valueNow = [](const std::wstring&, const std::wstring&) { return PresentState::Value{true, Sz(L"", L"now")}; };
    JournalEntry entry = log.Finish(now, valueNow);
    ASSERT_EQ(entry.keys.size(), 1u);
    ASSERT_EQ(entry.values.size(), 2u);
    EXPECT_EQ(entry.values[0].before, Sz(L"A", L"first"));
    EXPECT_EQ(entry.values[0].after, Sz(L"", L"now"));

    // The whole key deleted: as it stands now it holds A changed and New made by the same call.
    log.NoteTree(key, RegTree{{key, {Sz(L"A", L"changed"), Sz(L"C", L"kept")}}, {key + L"\\New", {Sz(L"x", L"1")}}});
    log.NoteValue(key, L"C", std::nullopt);
    entry = log.Finish(now, valueNow);
    ASSERT_EQ(entry.keys.size(), 1u);
    ASSERT_EQ(entry.values.size(), 1u);
    EXPECT_EQ(entry.values[0].key, L"HKEY_LOCAL_MACHINE\\Software\\Other");
    EXPECT_TRUE(SameTree(*entry.keys[0].before, RegTree{{key, {Sz(L"C", L"kept"), Sz(L"A", L"first")}}}));
    EXPECT_TRUE(log.Covers(key + L"\\any\\thing") && !log.Covers(key + L"x"));
}

// A tree the run created, deleted or replaced is one unit: back whole when it is as the run left it,
// kept whole otherwise; values in keys that existed go back one by one.
TEST(Journal, UndoTakesTreesAsUnitsAndValuesOneByOne)
{
    const JournalEntry entry = Registration();
    PresentState present{{entry.keys[0].after, entry.keys[1].after},
                         {{true, entry.values[0].after}, {true, entry.values[1].after}}};
    UndoPlan plan = PlanUndo(entry, present);
    ASSERT_EQ(plan.trees.size(), 2u);
    EXPECT_TRUE(plan.trees[0].key == kClass && !plan.trees[0].tree);
    EXPECT_EQ(plan.trees[1].tree, entry.keys[1].before);
    ASSERT_EQ(plan.values.size(), 2u);
    EXPECT_TRUE(!plan.values[0].value && plan.values[1].value == Sz(L"", L"was") && plan.kept.empty());

    // Since the run: a sub-key added to the class (in another case), the version gone, a value changed,
    // the other value's key removed.
    RegTree grown = *entry.keys[0].after;
    for (RegKeyRecord& record : grown)
        for (wchar_t& c : record.path)
            c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
    grown.push_back({kClass + L"\\Other", {}});
    present = {{grown, std::nullopt}, {{true, Sz(L"", L"changed")}, {false, std::nullopt}}};
    plan = PlanUndo(entry, present);
    EXPECT_TRUE(plan.trees.empty() && plan.values.empty());
    EXPECT_EQ(plan.kept, (std::vector<std::wstring>{kClass, kLib + L"\\1.0", L"HKEY_CURRENT_USER\\Software\\X\\=\t\"\\",
                                                    L"HKEY_CURRENT_USER\\Software\\X\\@"}));

    // The same tree in other case and order is the same tree.
    grown.pop_back();
    std::reverse(grown.begin(), grown.end());
    present.keys[0] = grown;
    EXPECT_EQ(PlanUndo(entry, present).trees.size(), 1u);
}
