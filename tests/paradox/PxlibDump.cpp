#include "PxlibDump.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <paradox.h>
}

namespace {

constexpr long kZeroLong = -2147483647L - 1; // pxlib's reading of an all-zero 4-byte value

std::string DateText(long days) {
    int year = 0;
    int month = 0;
    int day = 0;
    // pxlib counts days like the serial day numbers of its calendar helpers, offset by the
    // serial number of 0000-12-31.
    PX_SdnToGregorian(days + 1721425L, &year, &month, &day);
    // pxlib numbers the years before 1 without a year 0 (-1 is 1 BC); ISO 8601, which the dump
    // writes, has one (0000 is 1 BC) and signs a year outside 0..9999.
    const long iso = year < 0 ? year + 1L : year;
    char text[48];
    std::snprintf(text, sizeof text, "%s%04ld-%02d-%02d",
                  iso < 0      ? "-"
                  : iso > 9999 ? "+"
                               : "",
                  iso < 0 ? -iso : iso, month, day);
    return text;
}

std::string TimeText(long long ms) {
    std::string sign;
    if (ms < 0) {
        sign = "-";
        ms = -ms;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return sign + text;
}

std::string DoubleText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Escaped(const char* text) {
    std::string out;
    for (const char* p = text; *p != 0; ++p) {
        if (*p == '\\') {
            out += "\\\\";
        } else if (*p == '\t') {
            out += "\\t";
        } else if (*p == '\n') {
            out += "\\n";
        } else {
            out += *p;
        }
    }
    return out;
}

// pxlib prints a BCD nibble above 9 (garbage some writers leave far beyond the real
// precision) as the character that follows '9' and then keeps the integer part's leading
// zeros; the canonical text reads such nibbles as 0.
std::string BcdText(const char* text) {
    std::string out(text);
    for (char& c : out) {
        if (c > '9' && c <= '?') {
            c = '0';
        }
    }
    const std::size_t digits = out[0] == '-' ? 1 : 0;
    std::size_t first = digits;
    while (first + 1 < out.size() && out[first] == '0' && out[first + 1] != '.') {
        ++first;
    }
    return out.substr(0, digits) + out.substr(first);
}

std::string ValueText(const pxfield_t& field, const pxval_t* v) {
    if (v == nullptr || v->isnull) {
        return "\\N";
    }
    switch (field.px_ftype) {
    case pxfAlpha:
        return v->value.str.val == nullptr || v->value.str.val[0] == 0 ? "\\N"
                                                                       : Escaped(v->value.str.val);
    case pxfShort:
        return std::to_string(v->value.lval);
    case pxfLong:
    case pxfAutoInc:
        return v->value.lval == kZeroLong ? "\\N" : std::to_string(v->value.lval);
    case pxfNumber:
    case pxfCurrency:
        return DoubleText(v->value.dval);
    case pxfDate:
        return v->value.lval == kZeroLong ? "\\N" : DateText(v->value.lval);
    case pxfTime:
        return v->value.lval == kZeroLong ? "\\N" : TimeText(v->value.lval);
    case pxfTimestamp: {
        const double ms = v->value.dval;
        if (!std::isfinite(ms) || std::fabs(ms) > 9e15) {
            return DoubleText(ms);
        }
        const long long t = std::llround(ms);
        long long day = t / 86400000LL;
        if (t % 86400000LL < 0) {
            --day;
        }
        return DateText(static_cast<long>(day)) + "T" + TimeText(t - day * 86400000LL);
    }
    case pxfLogical:
        return v->value.lval != 0 ? "true" : "false";
    case pxfBCD:
        return v->value.str.val == nullptr ? "\\N" : BcdText(v->value.str.val);
    case pxfBytes: {
        static const char* digits = "0123456789abcdef";
        std::string out;
        bool zero = true;
        for (int i = 0; i < v->value.str.len; ++i) {
            const auto b = static_cast<unsigned char>(v->value.str.val[i]);
            zero = zero && b == 0;
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return zero ? "\\N" : out;
    }
    default:
        return "<blob>";
    }
}

bool IsBlob(char type) {
    return type == pxfMemoBLOb || type == pxfBLOb || type == pxfFmtMemoBLOb || type == pxfOLE ||
           type == pxfGraphic;
}

void Quiet(pxdoc_t*, int, const char*, void*) {}

// Runs in the child: writes the dump lines to fd, exits non-zero on failure.
[[noreturn]] void DumpInChild(const std::filesystem::path& db, int fd, int timeoutSeconds) {
    alarm(static_cast<unsigned>(timeoutSeconds));
    if (std::freopen("/dev/null", "w", stderr) == nullptr) {
        _exit(4);
    }
    FILE* out = fdopen(fd, "w");
    PX_boot();
    pxdoc_t* doc = PX_new2(Quiet, nullptr, nullptr, nullptr);
    if (doc == nullptr || PX_open_file(doc, db.c_str()) < 0) {
        _exit(3);
    }
    const int fieldCount = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    const int records = PX_get_num_records(doc);
    std::vector<char> raw(65536);
    for (int r = 0; r < records; ++r) {
        pxval_t** values = PX_retrieve_record(doc, r);
        // pxlib hands out 0 (or the smallest integer) for fields whose bytes are all zero,
        // which is NULL in every type; its own copy of the record bytes tells them apart.
        const bool haveRaw = PX_get_record(doc, r, raw.data()) != nullptr;
        std::string line;
        int offset = 0;
        for (int f = 0; f < fieldCount; ++f) {
            if (f > 0) {
                line += '\t';
            }
            const int length = fields[f].px_flen;
            const bool allZero = haveRaw && offset + length <= static_cast<int>(raw.size()) &&
                                 std::all_of(raw.begin() + offset, raw.begin() + offset + length,
                                             [](char c) { return c == 0; });
            offset += length;
            if (IsBlob(fields[f].px_ftype)) {
                line += "<blob>";
            } else if (values == nullptr) {
                line += "\\E";
            } else if (allZero) {
                line += "\\N";
            } else {
                line += ValueText(fields[f], values[f]);
            }
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
    _exit(0);
}

} // namespace

PxlibDumpResult PxlibDump(const std::filesystem::path& db, int timeoutSeconds) {
    PxlibDumpResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.error = "pipe failed";
        return result;
    }
    const pid_t child = fork();
    if (child < 0) {
        result.error = "fork failed";
        return result;
    }
    if (child == 0) {
        close(fds[0]);
        DumpInChild(db, fds[1], timeoutSeconds);
    }
    close(fds[1]);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = WIFSIGNALED(status)
                           ? "pxlib killed by signal " + std::to_string(WTERMSIG(status))
                           : "pxlib exit " + std::to_string(WEXITSTATUS(status));
        return result;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        result.lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    result.ok = true;
    return result;
}

std::string MaskBlobColumns(const std::string& line, const std::vector<bool>& isBlob) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t column = 0;; ++column) {
        const std::size_t end = line.find('\t', start);
        if (column > 0) {
            out += '\t';
        }
        if (column < isBlob.size() && isBlob[column]) {
            out += "<blob>";
        } else {
            out += line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}
