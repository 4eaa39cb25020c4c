#include "cli/commands/TableState.h"

#include "cli/ExitCodes.h"

namespace cli {

TableState StateOf(const ReadTally& tally) {
    if (!tally.opened || tally.outputFailed) {
        return TableState::Unhandled;
    }
    const bool lost = tally.lossFound || tally.lostRecords != 0 || tally.unreadableValues != 0 ||
                      tally.replacedBytes != 0;
    return lost ? TableState::PartlyRead : TableState::Read;
}

int ExitCodeOf(TableState state) {
    switch (state) {
    case TableState::Read:
        return kExitOk;
    case TableState::PartlyRead:
        return kExitProblemsLeft;
    case TableState::Unhandled:
        break;
    }
    return kExitFailed;
}

} // namespace cli
