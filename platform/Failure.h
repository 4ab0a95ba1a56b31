#pragma once
// A platform failure: the system's error number and its own description.
#include <windows.h>
#include <string>

namespace platform {

// The system's text for an error or HRESULT, without the trailing line end; empty when it has none.
// Its inserts (error 193's "%1") take the given text, usually the file's path, or are left out.
std::wstring SystemMessage(DWORD code, const std::wstring& insert = {});

class Failure {
public:
    Failure(DWORD code, std::wstring description) : code_(code), description_(std::move(description)) {}
    explicit Failure(DWORD code) : Failure(code, SystemMessage(code)) {}

    DWORD Code() const noexcept { return code_; }
    const std::wstring& Description() const noexcept { return description_; }

private:
    DWORD code_;
    std::wstring description_;
};

// The failure being handled, whatever was thrown, so that every handler can report it and still run its
// final steps: out of memory for the standard library's allocation failures, an internal error for the
// rest. Call inside a catch block only.
Failure CurrentFailure();

[[noreturn]] inline void ThrowFailure(DWORD code) { throw Failure(code); }
[[noreturn]] inline void ThrowLastError()
{
    DWORD code = ::GetLastError();
    throw Failure(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE);
}
inline void ThrowIfFalse(BOOL ok)
{
    if (!ok)
        ThrowLastError();
}
inline void ThrowIfError(LSTATUS status)
{
    if (status != ERROR_SUCCESS)
        ThrowFailure(static_cast<DWORD>(status));
}

// Runs a step whose platform failure is to be passed over: the step is abandoned, the caller goes on.
template <class F>
void IgnoringFailure(F&& step)
{
    try {
        step();
    } catch (const Failure&) {
    }
}

} // namespace platform
