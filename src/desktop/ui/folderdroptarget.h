// SPDX-License-Identifier: MIT
#pragma once

#include "ui/folderdrop.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Lets folders be dropped from the file manager onto a list: installed on the list's viewport, it accepts a
// drag that carries at least one folder and hands the folders of a drop to onDrop. Items are looked at once
// per drag and once per drop, off the window's thread; what has not answered within a short wait is waited
// for while the window runs on, up to answerMs, and left out after that.
class FolderDropTarget : public QObject
{
    Q_OBJECT
public:
    FolderDropTarget(QWidget* viewport, std::function<void(const std::vector<DroppedFolder>&)> onDrop);
    ~FolderDropTarget() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void dropped(std::shared_ptr<FolderCheck> check);

    std::function<void(const std::vector<DroppedFolder>&)> m_onDrop;
    std::shared_ptr<FolderCheck> m_dragCheck; // the drag now over the list
    bool m_dragAccepted = false;
    static constexpr int AnswerMs = 2000;
};
