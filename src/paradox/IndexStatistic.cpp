#include "paradox/IndexStatistic.h"

namespace paradox {

std::string StatisticDetail(std::uint64_t statistic, std::uint32_t block,
                            std::optional<std::uint64_t> held) {
    return "entry says " + std::to_string(statistic) + " records, block " + std::to_string(block) +
           (held ? " holds " + std::to_string(*held) : std::string(" cannot be read"));
}

std::string StatisticSumDetail(std::uint64_t sum, std::uint64_t tableRecords) {
    return "index statistics add up to " + std::to_string(sum) + ", table says " +
           std::to_string(tableRecords);
}

} // namespace paradox
