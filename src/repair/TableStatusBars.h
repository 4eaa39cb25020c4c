#pragma once

namespace repair {

// The repair window's four table-status bars, "Header:", "Indexes:", "Data:", "Rebuild:".
enum class TableStatusBar { Header, Indexes, Data, Rebuild };

// Where the library's progress reports land: the window installs its bars, a terminal its
// own progress display. A position is the reported percentage as it comes (0 to 65535).
class TableStatusBars {
public:
    virtual ~TableStatusBars() = default;
    virtual void SetBar(TableStatusBar bar, unsigned position) = 0;
};

// The bars installed now on this thread, or null when none are.
TableStatusBars* InstalledTableStatusBars();

// Installs bars on this thread for the lifetime of the scope and puts the previous ones back.
class ScopedTableStatusBars {
public:
    explicit ScopedTableStatusBars(TableStatusBars& bars);
    ~ScopedTableStatusBars();
    ScopedTableStatusBars(const ScopedTableStatusBars&) = delete;
    ScopedTableStatusBars& operator=(const ScopedTableStatusBars&) = delete;

private:
    TableStatusBars* previous_;
};

} // namespace repair
