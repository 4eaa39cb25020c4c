#pragma once

// pxlib (an independent Paradox library) as a test oracle. It hangs on some damaged files,
// so every read runs in a forked child that is killed after a timeout.

#include "paradox/Schema.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <paradox.h>
}

namespace pxoracle {

// The text of one value as the writer's tests expect it (see WriterTestData.h): "\N" for
// NULL; whole numbers in decimal (dates as day numbers, times in ms, logicals 0/1); doubles
// with %.17g; BCD as pxlib's decimal text; Alpha as stored; Bytes in lower-case hex.
inline std::string ValueText(const pxfield_t& field, const pxval_t& v) {
    if (v.isnull) {
        return "\\N";
    }
    char text[64];
    switch (field.px_ftype) {
    case pxfAlpha:
        return v.value.str.val == nullptr || v.value.str.val[0] == 0 ? "\\N" : v.value.str.val;
    case pxfBCD:
        return v.value.str.val == nullptr ? "\\N" : v.value.str.val;
    case pxfBytes: {
        static const char* digits = "0123456789abcdef";
        std::string out;
        bool zero = true;
        for (int i = 0; i < v.value.str.len; ++i) {
            const auto b = static_cast<unsigned char>(v.value.str.val[i]);
            zero = zero && b == 0;
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return zero ? "\\N" : out;
    }
    case pxfNumber:
    case pxfCurrency:
    case pxfTimestamp:
        std::snprintf(text, sizeof text, "%.17g", v.value.dval);
        return text;
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
        return "<blob>"; // never read: pxlib is not given .MB files
    case pxfLong:
    case pxfAutoInc:
    case pxfDate:
    case pxfTime:
        // pxlib reads an all-zero 4-byte value as the smallest integer instead of NULL.
        if (v.value.lval == -2147483648L) {
            return "\\N";
        }
        return std::to_string(v.value.lval);
    default:
        return std::to_string(v.value.lval);
    }
}

// Expected texts (as ValueText writes them) as pxlib gives them back: it reads an all-zero
// (NULL) double as 0.
inline std::vector<std::string> AsPxlibReadsIt(const paradox::TableSchema& schema,
                                               std::vector<std::string> texts) {
    for (std::size_t f = 0; f < texts.size(); ++f) {
        const auto type = schema.fields[f].Type();
        const bool isDouble = type == paradox::FieldType::Number ||
                              type == paradox::FieldType::Currency ||
                              type == paradox::FieldType::Timestamp;
        if (isDouble && texts[f] == "\\N") {
            texts[f] = "0";
        }
    }
    return texts;
}

struct Dump {
    int records = -1;                           // pxlib's record count
    std::vector<std::vector<std::string>> rows; // per record, per field
    std::string error;
};

// Reads a .DB (never its .MB) with pxlib in a child process. `withIndex`: also hand pxlib the
// table's .PX.
inline Dump ReadWithPxlib(const std::filesystem::path& db, int timeoutSeconds = 60,
                          const std::filesystem::path& px = {}) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {-1, {}, "pipe failed"};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        FILE* out = fdopen(fds[1], "w");
        pxdoc_t* doc = PX_new();
        if (doc == nullptr || PX_open_file(doc, db.c_str()) < 0) {
            std::fprintf(out, "E open failed\n");
            std::fclose(out);
            _exit(0);
        }
        if (!px.empty()) {
            pxdoc_t* index = PX_new();
            if (PX_open_file(index, px.c_str()) < 0 || PX_read_primary_index(index) < 0 ||
                PX_add_primary_index(doc, index) < 0) {
                std::fprintf(out, "E index rejected\n");
                std::fclose(out);
                _exit(0);
            }
        }
        const int count = PX_get_num_records(doc);
        const int fields = PX_get_num_fields(doc);
        pxfield_t* spec = PX_get_fields(doc);
        std::fprintf(out, "N %d\n", count);
        for (int r = 0; r < count; ++r) {
            pxval_t** values = PX_retrieve_record(doc, r);
            if (values == nullptr) {
                std::fprintf(out, "E record %d unreadable\n", r);
                continue;
            }
            std::string line = "R";
            for (int f = 0; f < fields; ++f) {
                line += '\t';
                line += ValueText(spec[f], *values[f]);
            }
            std::fprintf(out, "%s\n", line.c_str());
        }
        std::fclose(out);
        _exit(0); // leave pxlib's state to the operating system
    }
    close(fds[1]);
    Dump dump;
    std::string text;
    char buffer[65536];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, timeoutSeconds * 1000);
        if (ready <= 0) {
            kill(child, SIGKILL);
            dump.error = "pxlib timed out";
            break;
        }
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) && dump.error.empty()) {
        dump.error = "pxlib crashed";
    }
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("N ", 0) == 0) {
            dump.records = std::atoi(line.c_str() + 2);
        } else if (line.rfind("E ", 0) == 0) {
            dump.error += line.substr(2) + ";";
        } else if (line.rfind("R", 0) == 0) {
            std::vector<std::string> row;
            std::size_t from = 2;
            while (from <= line.size()) {
                std::size_t tab = line.find('\t', from);
                if (tab == std::string::npos) {
                    tab = line.size();
                }
                row.push_back(line.substr(from, tab - from));
                from = tab + 1;
            }
            dump.rows.push_back(std::move(row));
        }
    }
    return dump;
}

} // namespace pxoracle
