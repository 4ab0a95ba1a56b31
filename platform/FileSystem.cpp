#include "platform/FileSystem.h"
#include "platform/Failure.h"

namespace platform {

FolderListing::FolderListing(const std::wstring& pattern)
{
    find_.reset(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &first_, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
    if (find_) {
        hasFirst_ = true;
        return;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
        ThrowFailure(error);
}

bool FolderListing::Next(WIN32_FIND_DATAW& entry)
{
    if (hasFirst_) {
        hasFirst_ = false;
        entry = first_;
        return true;
    }
    if (!find_ || !::FindNextFileW(find_.get(), &entry))
        return false;
    return true;
}

} // namespace platform
