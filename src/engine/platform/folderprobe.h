// SPDX-License-Identifier: MIT
#pragma once

#include "platform/yieldfn.h"

#include <QByteArray>

#include <chrono>
#include <functional>

enum class FolderAnswer { Folder, NotFolder, NoAnswer };

// Whether nativePath names a folder (links followed), asked on a thread of its own so that a share that
// stopped answering cannot hold the caller: after limit the answer is NoAnswer, and the thread, which may
// wait for ever, is left to itself. yield runs every few milliseconds meanwhile.
FolderAnswer probeFolder(const QByteArray& nativePath, std::chrono::milliseconds limit, const YieldFn& yield);

// How long a picker waits for its start folder to answer before it opens elsewhere.
inline constexpr std::chrono::milliseconds FolderProbeLimit{1500};
