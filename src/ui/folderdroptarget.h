// SPDX-License-Identifier: MIT
#pragma once

#include "search/folderdrop.h"

#include <QObject>

#include <functional>
#include <vector>

// Lets folders be dropped from the file manager onto a list: installed on the list's viewport, it accepts a
// drag that carries at least one folder and hands the folders of a drop to onDrop.
class FolderDropTarget : public QObject
{
    Q_OBJECT
public:
    FolderDropTarget(QWidget* viewport, std::function<void(const std::vector<DroppedFolder>&)> onDrop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const std::vector<DroppedFolder>&)> m_onDrop;
};
