#pragma once
// Hooks over the registry's writing functions in every import table of this process, the late-loaded
// imports included, and over the functions that load modules or look up entries, so that modules
// loaded and entries found later are hooked as well. A hook reports to the recorder installed, and
// otherwise only calls through.
class ChangeRecorder;

namespace registry_hooks {

// Installs the recorder, or none, and hooks every module loaded now. Throws platform::Failure when the
// system's own entries cannot be found.
void Install(ChangeRecorder* recorder);

} // namespace registry_hooks
