#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "pe/ImageFile.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/Prompt.h"
#include "platform/Text.h"
#include "register/LogWriter.h"
#include "register/RegistryRedirect.h"
#include "register/SelectedRowRun.h"
#include "register/pure/BidiIsolation.h"
#include "register/pure/ManifestText.h"
#include <commdlg.h>

namespace {

constexpr wchar_t CrLf[] = L"\r\n";
constexpr wchar_t kExtension[] = L".manifest";
constexpr DWORD ManifestDialogFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;

// The folder's own name, proposed for its manifest; nothing for a drive's root.
std::wstring FolderName(std::wstring folder)
{
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
    return name.find(L':') == std::wstring::npos ? name : L"";
}

std::wstring AssemblyName(const platform::SaveFileAnswer& answer)
{
    std::wstring name = answer.path.substr(answer.path.size() - answer.fileNameLength);
    const size_t length = std::size(kExtension) - 1;
    if (name.size() >= length && platform::EqualsIgnoreCase(std::wstring_view(name).substr(name.size() - length), kExtension))
        name.resize(name.size() - length);
    return name;
}

const wchar_t* Architecture(const std::optional<pe::ImageFacts>& facts)
{
    if (!facts)
        return nullptr;
    return facts->machine == pe::Machine::X64 ? L"amd64" : facts->machine == pe::Machine::X86 ? L"x86" : nullptr;
}

std::wstring FourPartVersion(const std::wstring& path)
{
    platform::FileVersion v = platform::ReadFileVersion(path);
    if (!v.major && !v.minor && !v.build && !v.revision)
        return L"1.0.0.0";
    return std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) + L"." + std::to_wstring(v.build) + L"." + std::to_wstring(v.revision);
}

std::vector<std::uint8_t> Utf8Bytes(const std::wstring& text)
{
    std::optional<std::string> utf8 = platform::ToCodePage(text, CP_UTF8, WC_ERR_INVALID_CHARS, false);
    if (!utf8)
        platform::ThrowFailure(ERROR_NO_UNICODE_TRANSLATION);
    return {utf8->begin(), utf8->end()};
}

std::wstring CountsAndLeftOut(const ManifestFile& file)
{
    std::wstring lines = Text(IDS_LOG_MANIFEST_COUNTS, {std::to_wstring(file.classes.size()), std::to_wstring(file.typeLibs.size()),
                                                        std::to_wstring(file.proxyStubs.size() + file.externalProxyStubs.size())});
    for (const std::wstring& key : file.leftOut)
        lines += CrLf + Text(IDS_LOG_MANIFEST_LEFT_OUT) + BidiIsolated(key);
    return lines;
}

} // namespace

void frmMirdal::ExportManifest()
{
    if (lsvFile.ItemCount() == 0)
        return;
    const std::wstring folder = pnlPath.Text();
    const std::wstring proposed = FolderName(folder);
    platform::SaveFileRequest request{Text(IDS_MANIFEST_FILTER), ManifestDialogFlags, folder, kExtension + 1,
                                      proposed.empty() ? L"" : proposed + kExtension};
    std::optional<platform::SaveFileAnswer> answer = platform::AskSaveFile(hwnd_, request);
    if (!answer)
        return;
    // The loader finds a private assembly by the file's name: one it cannot take would never be found.
    const std::wstring name = AssemblyName(*answer);
    if (!IsAssemblyName(name)) {
        platform::ShowMessage(hwnd_, Text(IDS_MSG_MANIFEST_NAME, {name}), Text(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WriteManifest(answer->path, name);
}

void frmMirdal::WriteManifest(const std::wstring& path, const std::wstring& name)
{
    const std::vector<FileRow> files = SelectedFiles();
    // A scratch key left by a host that crashed in an earlier capture; those of captures still running stay.
    RegistryCapture::RemoveLeftovers();
    RunInPanel([&](LogWriter& log, RunPump& pump) {
        AssemblyIdentity identity{name, {}, {}};
        std::vector<ManifestFile> parts;
        bool served = false;
        ForEachItem(files, pump, [&](const FileRow& file) {
            log.Append(BidiIsolated(file.key) + Text(IDS_LOG_MANIFEST) + CrLf);
            // One assembly has one architecture: a server of the other bitness cannot load into its programs.
            const wchar_t* architecture = Architecture(ReadImageFile(file.key));
            if (architecture && !identity.architecture.empty() && identity.architecture != architecture) {
                log.Append(Text(IDS_LOG_MANIFEST_OTHER_BITNESS, {identity.architecture}) + CrLf + CrLf);
                return;
            }
            FileOutcome outcome = RegisterWatched(host_protocol::Operation::Capture, file.key, log, pump.WhileWaiting());
            std::wstring lines = OutcomeLines(outcome);
            if (outcome.code == 0) {
                ManifestFile part = ReadManifestFile(file.key, ParseRegKeysText(outcome.capture.regText).value_or(std::vector<RegKeyRecord>{}));
                lines += CrLf + CountsAndLeftOut(part);
                if (architecture && (!part.Empty() || !part.externalProxyStubs.empty())) {
                    if (identity.architecture.empty())
                        identity.architecture = architecture, identity.version = FourPartVersion(file.key);
                    served = served || !part.Empty();
                    parts.push_back(std::move(part));
                }
            }
            log.Append(lines + CrLf + CrLf);
        });
        if (!served) {
            log.Append(Text(IDS_LOG_MANIFEST_NOTHING) + CrLf + Text(IDS_LOG_EXPORT_DONE));
            return;
        }
        WriteExport(log, path, Utf8Bytes(ManifestText(identity, parts)));
        log.Append(Text(IDS_LOG_EXPORT_FILE) + BidiIsolated(path) + CrLf + Text(IDS_LOG_MANIFEST_DEPENDENCY) + DependencyLine(identity) +
                   CrLf + Text(IDS_LOG_EXPORT_DONE));
    }, [] {});
}
