#include "repair/ParallelTables.h"

#include "platform/Table.h"
#include "platform/Toolkit.h"
#include "repair/DBRepair.h"
#include "repair/TableStatusBars.h"

#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <thread>
#include <variant>

namespace repair {
namespace {

struct Line {
    std::string text;
};
struct Verdict {
    platform::TableResult soFar;
};
struct Box {
    platform::BoxIcon icon;
    std::string caption;
    std::string text;
};
struct Bar {
    TableStatusBar bar;
    unsigned position;
};
using Event = std::variant<Line, Verdict, Box, Bar>;

// What one table's steps, on a thread of their own, tell the run's view, the toolkit and the
// table-status bars: kept in order to be handed on later. Questions about the run are answered from
// what was read of the run's view before the thread began.
class TableRecording : public RepairRunView, public platform::Toolkit, public TableStatusBars {
public:
    TableRecording(const std::vector<std::string>& tables, std::string aliasName,
                   platform::TTable& table, bool acceptLoss)
        : tables_(tables), aliasName_(std::move(aliasName)), table_(table),
          acceptLoss_(acceptLoss) {}

    std::vector<Event>& Events() { return events_; }

    void AppendMessage(const std::string& line) override {
        lines_.push_back(line);
        events_.emplace_back(Line{line});
    }
    void ClearMessages() override { lines_.clear(); }
    std::vector<std::string> MessageLines() const override { return lines_; }
    void SetGaugeMax(int) override {}
    void SetGaugePosition(int) override {}
    int GaugePosition() const override { return 0; }
    void ResetProgressBars() override {}
    bool CancelRequested() const override { return false; }
    void ClearCancelRequest() override {}
    void SetCancelEnabled(bool) override {}
    void ProcessPendingEvents() override {}
    const std::vector<std::string>& TableList() const override { return tables_; }
    platform::TTable& TempTable() override { return table_; }
    std::string DatabaseAliasName() const override { return aliasName_; }
    void AppendLogLine(const std::string&) override {}
    bool AcceptsLoss() const override { return acceptLoss_; }
    void VerdictWritten(const platform::TableResult& soFar) override {
        events_.emplace_back(Verdict{soFar});
    }

    void ShowHourglass() override {}
    void ShowDefaultCursor() override {}
    void ShowMessageBox(platform::BoxIcon icon, const std::string& caption,
                        const std::string& text) override {
        events_.emplace_back(Box{icon, caption, text});
    }
    void OpenUrl(const std::string&) override {}

    void SetBar(TableStatusBar bar, unsigned position) override {
        events_.emplace_back(Bar{bar, position});
    }

private:
    const std::vector<std::string>& tables_;
    const std::string aliasName_;
    platform::TTable& table_;
    const bool acceptLoss_;
    std::vector<std::string> lines_;
    std::vector<Event> events_;
};

// One table on its thread; the thread is joined before the rest goes.
class TableJob {
public:
    TableJob(const RepairRunView& view, platform::TDatabase& database, bool exclusive,
             bool acceptLoss, std::string name, const TableWork& work)
        : table_(database),
          recording_(view.TableList(), view.DatabaseAliasName(), table_, acceptLoss) {
        table_.SetExclusive(exclusive);
        result_.name = std::move(name);
        result_.started = std::chrono::system_clock::now();
        thread_ = std::jthread([this, &work, acceptLoss] { Run(work, acceptLoss); });
    }

    // Waits for the table, then hands on what it told and its end to `view` and the toolkit.
    // Returns the failure of its steps, if any.
    std::exception_ptr HandOn(RepairRunView& view) {
        thread_.join();
        view.ResetProgressBars();
        view.SetGaugePosition(view.GaugePosition() + 1);
        for (const Event& event : recording_.Events()) {
            if (const auto* line = std::get_if<Line>(&event)) {
                view.AppendMessage(line->text);
            } else if (const auto* verdict = std::get_if<Verdict>(&event)) {
                view.VerdictWritten(verdict->soFar);
            } else if (const auto* box = std::get_if<Box>(&event)) {
                platform::CurrentToolkit().ShowMessageBox(box->icon, box->caption, box->text);
            } else if (TableStatusBars* bars = InstalledTableStatusBars()) {
                const Bar& bar = std::get<Bar>(event);
                bars->SetBar(bar.bar, bar.position);
            }
        }
        view.TableFinished(result_);
        return failure_;
    }

private:
    void Run(const TableWork& work, bool acceptLoss) {
        const platform::ScopedThreadToolkit toolkit(recording_);
        const ScopedTableStatusBars bars(recording_);
        try {
            TqzDBRepair engine;
            engine.SetAcceptLoss(acceptLoss);
            work(recording_, engine, result_);
        } catch (...) {
            failure_ = std::current_exception();
        }
        table_.Close();
        result_.finished = std::chrono::system_clock::now();
    }

    platform::TTable table_;
    TableRecording recording_;
    platform::TableResult result_;
    std::exception_ptr failure_;
    std::jthread thread_; // last: begun once the rest is there, joined before it goes
};

} // namespace

TablesEnd RunTablesAtOnce(RepairRunView& view, unsigned atOnce, bool acceptLoss,
                          const TableWork& work) {
    const std::vector<std::string>& tables = view.TableList();
    platform::TDatabase& database = view.TempTable().Database();
    const bool exclusive = view.TempTable().Exclusive();
    std::deque<std::unique_ptr<TableJob>> inHand;
    std::size_t next = 0;
    bool cancelled = false;
    std::exception_ptr failure;
    for (;;) {
        while (!cancelled && !failure && next < tables.size() && inHand.size() < atOnce) {
            if (view.CancelRequested()) {
                cancelled = true;
                break;
            }
            view.TableBegun(next);
            inHand.push_back(std::make_unique<TableJob>(view, database, exclusive, acceptLoss,
                                                        tables[next], work));
            ++next;
        }
        if (inHand.empty()) {
            break;
        }
        std::exception_ptr tableFailure = inHand.front()->HandOn(view);
        inHand.pop_front();
        if (tableFailure && !failure) {
            failure = tableFailure;
        }
        view.ProcessPendingEvents();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return cancelled ? TablesEnd::Cancelled : TablesEnd::AllDone;
}

} // namespace repair
