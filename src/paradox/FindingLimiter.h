#pragma once

#include "paradox/Finding.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>

namespace paradox {

// Passes findings on to a list but keeps at most `perCode` of each code for one file, so a
// badly damaged file yields a readable report; Close() adds one line per code saying how
// many more were seen.
class FindingLimiter {
public:
    FindingLimiter(FindingList& findings, std::string file, std::size_t perCode = 50)
        : findings_(findings), file_(std::move(file)), perCode_(perCode) {}
    FindingLimiter(const FindingLimiter&) = delete;
    FindingLimiter& operator=(const FindingLimiter&) = delete;
    ~FindingLimiter() { Close(); }

    void Add(FindingCode code, Severity severity, std::int64_t block, std::int64_t record,
             FindingDetail detail, bool dataLost = false) {
        auto& count = counts_[code];
        ++count;
        if (count <= perCode_) {
            findings_.Add(code, severity, file_, block, record, std::move(detail), dataLost);
        } else {
            // The summary line is as serious as the worst finding it stands for, so that
            // nothing decided per code (a verdict, an open) depends on the cap.
            auto& dropped = dropped_[code];
            if (severity == Severity::Damage) {
                dropped.first = Severity::Damage;
            }
            dropped.second = dropped.second || dataLost;
        }
    }
    void Damage(FindingCode code, std::int64_t block, FindingDetail detail, bool dataLost = false) {
        Add(code, Severity::Damage, block, -1, std::move(detail), dataLost);
    }
    void Suspicious(FindingCode code, std::int64_t block, FindingDetail detail) {
        Add(code, Severity::Suspicious, block, -1, std::move(detail));
    }
    const std::string& File() const { return file_; }

    // Takes in what `part`, a limiter for the same file whose list holds only what it passed
    // on, saw of a later stretch of the same records checked apart: as if every finding it
    // saw had come here in turn. `part` is left with nothing to add when it closes.
    void Absorb(FindingLimiter& part) {
        for (const Finding& f : part.findings_.All()) {
            Add(f.code, f.severity, f.block, f.record, f.detail, f.dataLost);
        }
        for (const auto& [code, dropped] : part.dropped_) {
            // Held back there, so past the cap here too.
            counts_[code] += part.counts_[code] - part.perCode_;
            auto& mine = dropped_[code];
            if (dropped.first == Severity::Damage) {
                mine.first = Severity::Damage;
            }
            mine.second = mine.second || dropped.second;
        }
        part.findings_.Clear();
        part.counts_.clear();
        part.dropped_.clear();
    }

    void Close() {
        for (const auto& [code, dropped] : dropped_) {
            findings_.Add(code, dropped.first, file_, -1, -1,
                          Detail(DetailKind::MoreNotListed).Found(counts_[code] - perCode_),
                          dropped.second);
        }
        dropped_.clear();
    }

private:
    FindingList& findings_;
    std::string file_;
    std::size_t perCode_;
    std::map<FindingCode, std::size_t> counts_;
    std::map<FindingCode, std::pair<Severity, bool>> dropped_; // worst severity, data lost
};

} // namespace paradox
