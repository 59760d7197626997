// SPDX-License-Identifier: MIT
#pragma once

// lentrova-find's standard output: the streamed writer and the path lines it carries.

#include "results/resultbatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Output that streams: while rows come fast they leave in large writes, yet none waits longer than
// FlushDelay; a reader that went away (a closed pipe) stops the walk at once.
class StreamedOutput
{
public:
    StreamedOutput(int fd, std::atomic<bool>& stop, std::function<void()> readerGone);
    ~StreamedOutput() { finish(); }
    StreamedOutput(const StreamedOutput&) = delete;
    StreamedOutput& operator=(const StreamedOutput&) = delete;

    // Takes the text; it comes back empty, its capacity kept.
    void push(std::string& text);
    // Writes what waits before returning.
    void flush();
    void finish();
    // The errno of the write that failed, EPIPE once the reader went away; 0 while all was written.
    int error();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t LargeWrite = 256 * 1024;
    // With the walk's report slice, a found name is written within 50 ms.
    static constexpr auto FlushDelay = std::chrono::milliseconds(25);
    // How often a pipe with nothing to write is asked whether its reader is still there.
    static constexpr auto ReaderCheck = std::chrono::milliseconds(50);

    void fail(int err);
    bool readerGone() const;
    void run();

    const int m_fd;
    std::atomic<bool>& m_stop;
    const std::function<void()> m_readerGone;
    bool m_watchReader = false;
    std::mutex m_mutex; // guards what follows, up to m_writeMutex
    std::condition_variable m_wake;
    std::string m_pending;
    Clock::time_point m_since; // when m_pending last stopped being empty
    bool m_closing = false;
    int m_error = 0;
    std::mutex m_writeMutex; // held through a write, so that writes leave in the order they were taken
    std::string m_writing;
    std::thread m_thread;
};

// How found paths are written: quoted for a terminal or raw, with or without their length, and what ends
// each.
struct PathLineStyle
{
    bool quote = false;
    bool withLength = false;
    char separator = '\n';
};

// Appends one line per row of the batch to text.
void appendPathLines(const ResultBatch& rows, const PathLineStyle& style, std::string& text);
