#include "register/pure/HostRoute.h"

HostRoute RouteImage(pe::Machine machine, bool windows64)
{
    switch (machine) {
    case pe::Machine::X86: return HostRoute::X86Host;
    case pe::Machine::X64: return windows64 ? HostRoute::X64Host : HostRoute::X64OnX86Windows;
    case pe::Machine::NotPe: return HostRoute::NotPe;
    default: return HostRoute::ForeignMachine;
    }
}
