#include "torq/workflow/StepTable.h"

#include <algorithm>

namespace torq {

std::span<const StepRow> StepRowsOf(Bar bar) {
    const std::span<const StepRow> rows(kStepRows);
    const auto runs = [bar](const StepRow& row) { return row.bar == bar && row.operation; };
    const auto first = std::find_if(rows.begin(), rows.end(), runs);
    const auto last = std::find_if_not(first, rows.end(), runs);
    return rows.subspan(static_cast<std::size_t>(first - rows.begin()),
                        static_cast<std::size_t>(last - first));
}

std::optional<Operation> TileOperation(Bar bar, Step step) {
    const StepRow* row = FindStepRow(bar, step);
    if (row == nullptr || !row->tileRuns)
        return std::nullopt;
    return row->operation;
}

}  // namespace torq
