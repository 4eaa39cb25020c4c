#pragma once

// pxlib reading every record of a table (PX_retrieve_record), as the outside reference for
// the scan benchmark. Runs in a child process, which reports its time through a pipe.

extern "C" {
#include <paradox.h>
}

#include "BenchSupport.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

struct PxlibScanResult {
    bool ok = false;
    std::int64_t records = 0;
    double seconds = 0;    // wall clock
    double cpuSeconds = 0; // CPU time of the reading process
};

namespace detail {

// Frees what PX_retrieve_record handed out: text-like values own a buffer.
inline void FreeRecord(pxdoc_t* doc, const pxfield_t* spec, pxval_t** values, int fields) {
    for (int f = 0; f < fields; ++f) {
        if (values[f] == nullptr) {
            continue;
        }
        const int type = spec[f].px_ftype;
        const bool ownsText = type == pxfAlpha || type == pxfBCD || type == pxfBytes ||
                              (type >= pxfMemoBLOb && type <= pxfGraphic);
        if (ownsText && !values[f]->isnull && values[f]->value.str.val != nullptr) {
            doc->free(doc, values[f]->value.str.val);
        }
        doc->free(doc, values[f]);
    }
    doc->free(doc, values);
}

inline PxlibScanResult ScanHere(const std::filesystem::path& db) {
    PxlibScanResult result;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSecondsUsed();
    pxdoc_t* doc = PX_new();
    if (doc == nullptr || PX_open_file(doc, db.c_str()) < 0) {
        return result;
    }
    const int count = PX_get_num_records(doc);
    const int fields = PX_get_num_fields(doc);
    const pxfield_t* spec = PX_get_fields(doc);
    for (int r = 0; r < count; ++r) {
        pxval_t** values = PX_retrieve_record(doc, r);
        if (values == nullptr) {
            return result;
        }
        FreeRecord(doc, spec, values, fields);
        ++result.records;
    }
    PX_close(doc);
    PX_delete(doc);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpuSeconds = CpuSecondsUsed() - cpuStart;
    result.ok = true;
    return result;
}

} // namespace detail

inline PxlibScanResult ScanWithPxlib(const std::filesystem::path& db) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        PX_boot();
        const PxlibScanResult result = detail::ScanHere(db);
        const ssize_t written = ::write(fds[1], &result, sizeof result);
        ::_exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    ::close(fds[1]);
    PxlibScanResult result;
    if (::read(fds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) {
        result = {};
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

} // namespace bench
