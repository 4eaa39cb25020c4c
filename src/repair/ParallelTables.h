#pragma once

#include "platform/TableResult.h"
#include "repair/RepairRun.h"

#include <functional>

namespace repair {

class TqzDBRepair;

// One table's steps as the run takes them, on the view and engine given.
using TableWork =
    std::function<void(RepairRunView& view, TqzDBRepair& engine, platform::TableResult& result)>;

// How a run of several tables at once ended.
enum class TablesEnd { AllDone, Cancelled };

// Works on the tables of the view's list, up to `atOnce` at a time, each on a thread of its
// own with an engine and a table object of its own (on the view's table's database, which must
// be connected). What a table's steps tell their view (lines, verdicts), the toolkit (message
// boxes) and the table-status bars (progress) is kept and handed on to `view`, the toolkit and
// the bars installed on the calling thread, table by table in list order, each once it and
// those before it have finished; then the table's TableFinished. So the view sees what a run
// of one table at a time gives it (the progress of a table only once it has ended). The cancel
// request is looked at before each table is
// begun: the tables begun finish and are handed on, the rest are not begun (Cancelled). A
// failure of a table's steps stops the beginning of tables too; it is passed on once the
// tables begun have been handed on.
TablesEnd RunTablesAtOnce(RepairRunView& view, unsigned atOnce, bool acceptLoss,
                          const TableWork& work);

} // namespace repair
