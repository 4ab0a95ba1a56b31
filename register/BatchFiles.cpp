#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "platform/Text.h"
#include "platform/pure/PathText.h"
#include "register/LogWriter.h"
#include "register/SelectedRowRun.h"
#include "register/pure/BatchText.h"
#include "register/pure/BidiIsolation.h"
#include <commdlg.h>

namespace {

constexpr wchar_t CrLf[] = L"\r\n";
constexpr DWORD BatchDialogFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;

// A batch file written in the ANSI code page, every line ended by CR LF.
class BatchWriter {
public:
    explicit BatchWriter(const std::wstring& path)
        : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        if (!file_)
            platform::ThrowLastError();
    }
    void WriteLine(const std::string& line)
    {
        const std::string bytes = line + "\r\n";
        platform::WriteAll(file_.get(), bytes.data(), bytes.size());
    }

private:
    platform::UniqueFile file_;
};

// The text in the ANSI code page, exactly, or nothing.
std::optional<std::string> ToBatchText(const std::wstring& text)
{
    UINT codePage = ::GetACP();
    CodePageConversion how = ExactConversion(codePage);
    return platform::ToCodePage(text, codePage, how.flags, how.askDefaultCharUsed);
}

std::wstring ShortPath(const std::wstring& path)
{
    DWORD size = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring shortPath(size, L'\0');
    shortPath.resize(::GetShortPathNameW(path.c_str(), shortPath.data(), size));
    return shortPath;
}

} // namespace

// The batch line of a row in the ANSI code page's reach: the name as listed, else its short name;
// a name with neither form is refused rather than written corrupted.
std::wstring frmMirdal::BatchLine(const FileRow& file, bool registering) const
{
    auto line = [&](const std::wstring& name) { return registering ? RegistrationLine(name) : UnregistrationLine(name); };
    if (ToBatchText(line(file.name)))
        return line(file.name);
    std::wstring shortName = platform::FileNameOf(ShortPath(file.key));
    if (!shortName.empty() && ToBatchText(line(shortName)))
        return line(shortName);
    throw platform::Failure(ERROR_NO_UNICODE_TRANSLATION, Text(IDS_MSG_NAME_NOT_ANSI) + file.key);
}

void frmMirdal::CreateBatchFiles()
{
    if (lsvFile.ItemCount() == 0)
        return;
    platform::SaveFileRequest request{Text(IDS_BATCH_FILTER), BatchDialogFlags, pnlPath.Text()};
    std::optional<platform::SaveFileAnswer> answer = platform::AskSaveFile(hwnd_, request);
    if (!answer)
        return;
    std::wstring registrationPath = answer->path;
    std::wstring unregistrationPath = UnregistrationPath(answer->path, answer->fileNameLength);

    const std::vector<FileRow> files = SelectedFiles();
    SetRunState(RunState::WritingBatchFiles);
    LogWriter log(txtRes);
    RunPump pump(log);
    auto run = [&] {
        // Every name is checked before anything is written, so that no half-written pair is left behind;
        // a file gone already is told at its turn.
        for (const FileRow& file : files)
            if (!GoneFileLine(file.key))
                BatchLine(file, true);
        auto writeBatch = [&](const std::wstring& path, unsigned header, bool registering) {
            BatchWriter file(path);
            log.Append(Text(header) + BidiIsolated(path) + CrLf);
            ForEachItem(files, pump, [&](const FileRow& row) {
                // A line for a file that is not there would only fail when the batch file runs.
                if (std::optional<std::wstring> gone = GoneFileLine(row.key))
                    return log.Append(*gone + CrLf);
                std::wstring line = BatchLine(row, registering);
                log.Append(BidiIsolated(line) + CrLf);
                file.WriteLine(platform::ToAnsi(line));
            });
            file.WriteLine("PAUSE");
        };
        writeBatch(registrationPath, IDS_LOG_REG_BATCH, true);
        log.Append(CrLf);
        writeBatch(unregistrationPath, IDS_LOG_UNREG_BATCH, false);
        log.Append(Text(IDS_LOG_BATCH_DONE));
    };
    RunToFinalSteps(log, run, [&](const platform::Failure& failure) { ReportFailure(failure.Code(), failure.Description()); },
                    [&] { SetRunState(RunState::Finished); });
}
