#include "platform/Failure.h"
#include "platform/pure/MessageInserts.h"
#include <new>
#include <stdexcept>

namespace platform {

std::wstring SystemMessage(DWORD code, const std::wstring& insert)
{
    wchar_t* buffer = nullptr;
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                        | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return FillInserts(text, insert);
}

Failure CurrentFailure()
{
    try {
        throw;
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return Failure(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::length_error&) {
        return Failure(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return Failure(ERROR_INTERNAL_ERROR);
    }
}

} // namespace platform
