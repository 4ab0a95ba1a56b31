#include "register/pure/Journal.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

std::vector<std::uint8_t> Utf16(const std::wstring& text)
{
    std::vector<std::uint8_t> bytes = Utf16LeWithBom(text + L'\0');
    return {bytes.begin() + 2, bytes.end()};
}

RegValue Sz(const std::wstring& name, const std::wstring& text) { return {name, kRegSz, Utf16(text)}; }

const std::wstring kLib = L"HKEY_CLASSES_ROOT\\TypeLib\\{L}";

// A registration over an older one of the same version, beside a sibling version it never touches.
JournalEntry Registration()
{
    JournalEntry entry{L"C:\\サーバー\\a \"b\".dll", 32, -2147024891, {kLib + L"\\1.0", L"HKEY_CLASSES_ROOT\\CLSID\\{C}"}, {}, {}};
    entry.before = {{kLib + L"\\1.0", {Sz(L"", L"Old")}}, {kLib + L"\\1.0\\FLAGS", {Sz(L"", L"4")}}};
    entry.after = {{kLib + L"\\1.0", {Sz(L"", L"New"), {L"v\\\"", kRegDword, {1, 2, 3, 4}}}},
                   {kLib + L"\\1.0\\FLAGS", {Sz(L"", L"0")}},
                   {kLib + L"\\1.0\\0\\win32", {Sz(L"", L"C:\\a.dll"), {L"bin", kRegBinary, std::vector<std::uint8_t>(40, 0xAB)}}},
                   {L"HKEY_CLASSES_ROOT\\CLSID\\{C}\\InprocServer32", {Sz(L"", L"C:\\a.dll"), {L"m", kRegMultiSz, Utf16(L"x")}}}};
    return entry;
}

TEST(Journal, ARunReadsBackAsWrittenAndAFileCutAnywhereButBetweenEntriesIsUnreadable)
{
    const JournalEntry entry = Registration();
    JournalEntry unregistered = entry;
    std::swap(unregistered.before, unregistered.after);
    const std::wstring header = JournalRunHeader(L"2026-12-07 11:20:33", JournalKind::Unregister, JournalScope::CurrentUser);
    const std::wstring first = JournalEntryText(entry), text = header + first + JournalEntryText(unregistered);
    std::optional<JournalRun> run = ParseJournal(text + JournalUndoneLine(L"2026-12-08 09:00:00"));
    ASSERT_TRUE(run);
    EXPECT_EQ(run->time, L"2026-12-07 11:20:33");
    EXPECT_TRUE(run->kind == JournalKind::Unregister && run->scope == JournalScope::CurrentUser && run->undone);
    ASSERT_EQ(run->entries.size(), 2u);
    for (const JournalEntry& read : run->entries)
        EXPECT_TRUE(read.file == entry.file && read.view == 32 && read.code == entry.code && read.keys == entry.keys);
    EXPECT_EQ(run->entries[0].before, entry.before);
    EXPECT_EQ(run->entries[0].after, entry.after);
    EXPECT_EQ(ParseJournalEntry(first)->after, entry.after);

    for (size_t cut = 0; cut < text.size(); ++cut) {
        std::optional<JournalRun> part = ParseJournal(text.substr(0, cut));
        // An entry or the header ends in an empty line, without which it stands whole as well.
        const bool atBoundary = std::ranges::any_of(std::initializer_list<size_t>{header.size(), header.size() + first.size(), text.size()},
                                                    [&](size_t end) { return cut == end || cut + 2 == end; });
        EXPECT_EQ(part.has_value(), atBoundary) << cut;
    }
    for (const std::wstring& garbled : {L"Mirdal journal 2" + text.substr(16), header + L"File: x\r\n", header + L"Kind: x\r\n"})
        EXPECT_FALSE(ParseJournal(garbled));
    EXPECT_FALSE(JournalTextOfBytes({0xFF, 0xFE, 0x41}));
    EXPECT_EQ(JournalTextOfBytes({0xFF, 0xFE, 0x41, 0}), L"A");
}

TEST(Journal, UndoRestoresWhatIsStillAsTheRunLeftItKeepsWhatChangedAndRemovesOnlyKeysTheRunCreated)
{
    const JournalEntry entry = Registration();
    // Since the run: FLAGS and the CLSID's "m" changed by hand.
    std::vector<RegKeyRecord> present = entry.after;
    present[1].values[0] = Sz(L"", L"2");
    present[3].values[1] = {L"m", kRegMultiSz, Utf16(L"y")};
    UndoPlan plan = PlanUndo(entry, present);
    ASSERT_EQ(plan.writes.size(), 1u);
    EXPECT_TRUE(plan.writes[0].key == kLib + L"\\1.0" && plan.writes[0].value == Sz(L"", L"Old"));
    const std::wstring server = L"HKEY_CLASSES_ROOT\\CLSID\\{C}\\InprocServer32";
    EXPECT_EQ(plan.kept, (std::vector<std::wstring>{server + L"\\m", kLib + L"\\1.0\\FLAGS\\@"}));
    std::vector<std::wstring> removals;
    for (const UndoPlan::Removal& removal : plan.removals)
        removals.push_back(removal.key + L"|" + removal.name);
    EXPECT_EQ(removals, (std::vector<std::wstring>{server + L"|", kLib + L"\\1.0|v\\\"", kLib + L"\\1.0\\0\\win32|",
                                                   kLib + L"\\1.0\\0\\win32|bin"}));
    // Deepest first; the 1.0 that existed before, and so the sibling versions' {L}, never among them.
    EXPECT_EQ(plan.keysToRemove, (std::vector<std::wstring>{kLib + L"\\1.0\\0\\win32", kLib + L"\\1.0\\0", server,
                                                            L"HKEY_CLASSES_ROOT\\CLSID\\{C}"}));

    // Undoing the unregistration writes everything back; what stands as before already is left alone.
    JournalEntry unregistered = entry;
    std::swap(unregistered.before, unregistered.after);
    unregistered.before.push_back({L"HKEY_CLASSES_ROOT\\CLSID\\{C}\\Bare", {}});
    plan = PlanUndo(unregistered, {{kLib + L"\\1.0", {Sz(L"", L"New")}}, {kLib + L"\\1.0\\FLAGS", {Sz(L"", L"4")}}});
    EXPECT_EQ(plan.writes.size(), 6u);
    EXPECT_TRUE(plan.removals.empty() && plan.kept.empty() && plan.keysToRemove.empty());
    EXPECT_EQ(plan.createdKeys, std::vector<std::wstring>{L"HKEY_CLASSES_ROOT\\CLSID\\{C}\\Bare"});
}

TEST(Journal, PerUserPathsAndOutermostKeys)
{
    EXPECT_EQ(PathInScope(L"HKEY_CLASSES_ROOT\\CLSID\\{C}", JournalScope::CurrentUser), L"HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{C}");
    EXPECT_EQ(PathInScope(L"HKEY_LOCAL_MACHINE\\Software\\X", JournalScope::CurrentUser), L"HKEY_CURRENT_USER\\Software\\X");
    EXPECT_EQ(PathInScope(L"HKEY_LOCAL_MACHINE_X\\Y", JournalScope::CurrentUser), L"HKEY_LOCAL_MACHINE_X\\Y");
    EXPECT_EQ(PathInScope(L"HKEY_CLASSES_ROOT\\CLSID", JournalScope::Administrator), L"HKEY_CLASSES_ROOT\\CLSID");
    EXPECT_EQ(OutermostKeys({L"R\\a\\b", L"R\\A-x", L"R\\a", L"R\\ab", L"R\\A\\c"}), (std::vector<std::wstring>{L"R\\a", L"R\\ab", L"R\\A-x"}));
}

} // namespace
