#include "register/pure/AccessDenied.h"

bool IsAccessDenied(std::uint32_t code)
{
    switch (code) {
    case 0x80070005u: // E_ACCESSDENIED
    case 5u:          // ERROR_ACCESS_DENIED, from a server that returns system errors as they are
    case kTypeLibRegistryAccess:
    case 0x80030005u: // STG_E_ACCESSDENIED
    case 0x80040151u: // REGDB_E_WRITEREGDB
    case 0x80070522u: // a required privilege is not held
    case 0x800A0046u: // "Permission denied", raised by a Visual Basic server
        return true;
    }
    return false;
}
