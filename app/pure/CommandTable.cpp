#include "app/pure/CommandTable.h"

namespace commands {

const ToolCommand* FindByKey(std::wstring_view key)
{
    for (const ToolCommand& entry : ToolCommands)
        if (key == entry.key)
            return &entry;
    return nullptr;
}

const ToolCommand* FindByCommand(int command)
{
    for (const ToolCommand& entry : ToolCommands)
        if (entry.command == command)
            return &entry;
    return nullptr;
}

std::optional<short> NextViewStyle(int style)
{
    if (style < 0 || style > 3)
        return std::nullopt;
    return static_cast<short>((style + 1) % 4);
}

} // namespace commands
