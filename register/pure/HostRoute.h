#pragma once
// Which registration host a file goes to, decided from its PE headers alone, before anything runs it.
#include "pe/pure/PeImage.h"

enum class HostRoute {
    X86Host,         // a 32-bit server: the 32-bit host
    X64Host,         // a 64-bit server: the 64-bit host
    NotPe,           // no PE image: not loaded at all
    ForeignMachine,  // a PE for a processor neither host serves (ARM64, ...): not loaded at all
    X64OnX86Windows, // a 64-bit server on 32-bit Windows: nowhere to load it
};

HostRoute RouteImage(pe::Machine machine, bool windows64);
