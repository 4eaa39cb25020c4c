#include "paradox/IndexStatistic.h"

namespace paradox {

FindingDetail StatisticDetail(std::uint64_t statistic, std::uint32_t block,
                              std::optional<std::uint64_t> held) {
    if (!held) {
        return Detail(DetailKind::StatisticUnreadable).Found(statistic).Block(block);
    }
    return Detail(DetailKind::StatisticHeld).Found(statistic).Block(block).Expected(*held);
}

FindingDetail StatisticSumDetail(std::uint64_t sum, std::uint64_t tableRecords) {
    return Detail(DetailKind::StatisticSum).Found(sum).Expected(tableRecords);
}

} // namespace paradox
