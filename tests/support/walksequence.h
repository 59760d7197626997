// SPDX-License-Identifier: MIT
#pragma once

#include "search/walker.h"

#include <QByteArray>
#include <QByteArrayList>

#include <functional>
#include <memory>
#include <string_view>

// How a test walks a folder: every file of any length, in many small reports, so that their borders fall
// everywhere and every header is seen whatever the timing.
struct SequenceWalk
{
    int readers = 0;
    std::function<int(std::string_view)> beforeOpen; // counted or refusing, as WalkSettings' hook
    std::shared_ptr<ListingCache> listings;
    bool targetCheck = false; // a check for Windows instead of lengths
    int stopAfter = -1;       // Stop once this many entries have come
    std::size_t maxRows = 7;
};

// Everything one walk hands over, in order: headers as "> path", rows as paths (a target check's followed by
// a tab and their problems), failures as "! path".
QByteArrayList walkSequence(const QByteArray& root, const SequenceWalk& how);
