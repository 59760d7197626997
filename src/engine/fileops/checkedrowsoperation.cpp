// SPDX-License-Identifier: MIT
#include "fileops/checkedrowsoperation.h"

#include <algorithm>

int CheckedRowsOperation::removeGoneRows(ResultModel& model) const
{
    return model.removeRowsById(m_gone);
}

void CheckedRowsOperation::noteGone(quint64 rowId)
{
    m_gone.insert(std::upper_bound(m_gone.begin(), m_gone.end(), rowId), rowId);
}
