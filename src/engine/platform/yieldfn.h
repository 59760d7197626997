// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

// Lets the caller's event loop turn during long work on its thread; empty where nothing waits.
using YieldFn = std::function<void()>;
