#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/Elevation.h"
#include "register/RunJournal.h"
#include "register/RegistrationHost.h"
#include "register/SelectedRowRun.h"
#include "register/pure/AccessDenied.h"
#include "register/pure/BidiIsolation.h"
#include "registry/BrokenSearch.h"
#include <cwchar>

// For a run that stops at a declined prompt: the key names the item.
static const std::wstring& ItemPath(const BrokenRegistration& registration) { return registration.key; }

void frmMirdal::RemoveRegistrations(const std::vector<BrokenRegistration>& registrations)
{
    constexpr wchar_t CrLf[] = L"\r\n";
    const bool windowElevated = platform::CurrentElevation().ProcessIsElevated();
    RunJournal journal(JournalKind::Delete, JournalScope::Machine);
    // With administrator rights the host keeps the run where only administrators write, as registrations are kept.
    const std::wstring hostJournal = windowElevated ? journal.HostJournal() : L"";
    RunInPanel([&](LogWriter& log, RunPump& pump) {
        auto remove = [&](const BrokenRegistration& registration) {
            log.Append(BidiIsolated(registration.key) + Text(IDS_LOG_DELETE) + CrLf);
            // Any host opens either view; this build's own is always there.
            const HostRequest request{host_protocol::Operation::DeleteKeyJournaled,
                                      std::to_wstring(registration.view) + L"\n" + registration.key, hostJournal};
            FileOutcome outcome = CallHost(request, sizeof(void*) == 8, false, pump.WhileWaiting());
            std::wstring lines = outcome.why;
            if (outcome.code) {
                const auto code = static_cast<std::uint32_t>(*outcome.code);
                wchar_t hex[12];
                std::swprintf(hex, 12, L"%08X", code);
                lines = code == 0 ? Text(IDS_LOG_DELETED) : Text(IDS_LOG_DELETE_FAILED, {hex, platform::SystemMessage(code)});
                if (!windowElevated && IsAccessDenied(code))
                    lines += CrLf + Text(IDS_WHY_NEEDS_ADMIN);
            }
            log.Append(lines + JournalLine(journal, outcome, hostJournal.empty()) + CrLf + CrLf);
        };
        ForEachItem(registrations, pump, remove);
        log.Append(Text(IDS_LOG_DELETE_DONE));
    }, [] {});
}
