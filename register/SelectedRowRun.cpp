#include "register/SelectedRowRun.h"
#include "app/Texts.h"
#include "app/frmMirdal.h"
#include "app/resource.h"
#include "platform/FileSystem.h"
#include "register/pure/BidiIsolation.h"

std::vector<FileRow> frmMirdal::SelectedFiles() const
{
    // Each question to the list costs a message; with every row selected (the usual run) none is asked.
    if (lsvFile.SelectedCount() == static_cast<int>(fileRows_.size()))
        return fileRows_.Rows();
    std::vector<FileRow> files;
    for (int i = lsvFile.NextSelected(-1); i >= 0; i = lsvFile.NextSelected(i))
        files.push_back(FileRowAt(i));
    return files;
}

std::optional<std::wstring> GoneFileLine(const std::wstring& path)
{
    if (!platform::IsMissing(path))
        return std::nullopt;
    return Text(IDS_LOG_FILE_GONE) + BidiIsolated(path);
}

std::wstring DeclinedLines(const ElevationDeclined& declined)
{
    if (!declined.midway)
        return Text(IDS_LOG_ELEVATION_DECLINED);
    std::wstring lines = Text(IDS_LOG_ELEVATION_DECLINED_REST);
    for (const std::wstring& path : declined.left)
        lines += L"\r\n" + BidiIsolated(path) + Text(IDS_LOG_NOT_DONE);
    return lines;
}

void RunToFinalSteps(LogWriter& log, const std::function<void()>& work,
                     const std::function<void(const platform::Failure&)>& report, const std::function<void()>& finalSteps)
{
    try {
        work();
        log.Flush();
    } catch (...) {
        // Whatever went wrong, the run ends through its final steps, or the window could not be closed.
        platform::Failure failure = platform::CurrentFailure();
        platform::IgnoringFailure([&] { log.Flush(); });
        report(failure);
    }
    finalSteps();
}

// An export that cannot be written names its file in the log before the failure box tells why.
void WriteExport(LogWriter& log, const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    try {
        platform::WriteWholeFile(path, bytes);
    } catch (const platform::Failure& failure) {
        log.Append(Text(IDS_LOG_NOT_WRITTEN, {BidiIsolated(path), failure.Description()}));
        throw;
    }
}
