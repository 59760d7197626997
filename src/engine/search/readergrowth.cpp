// SPDX-License-Identifier: MIT
#include "search/readergrowth.h"

#include "search/readerpool.h"

#include <algorithm>

#include <sys/resource.h>

namespace walkahead {

Waited ThreadWaits::renew()
{
    rusage usage{};
    if (::getrusage(RUSAGE_THREAD, &usage) != 0)
        return Waited::No;
    const Waited waited = usage.ru_inblock != blockReads ? Waited::Read
                          : usage.ru_nvcsw != sleeps     ? Waited::Slept
                                                         : Waited::No;
    blockReads = usage.ru_inblock;
    sleeps = usage.ru_nvcsw;
    return waited;
}

int heldFoldersAtMost()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return HeldFoldersAtLeast;
    if (limit.rlim_cur == RLIM_INFINITY)
        return HeldFoldersAtMostEver;
    return int(std::clamp<long>((long(limit.rlim_cur) - 64) / 4, HeldFoldersAtLeast, HeldFoldersAtMostEver));
}

int readersOnShareAtMost(int diskReaders)
{
    int most = std::min(ShareReadersAtMost, diskReaders * ShareReadersPerDiskReader);
    if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // Two a reader (its folder, and one its parent kept open for it), the held folders, and a margin for
        // the rest of the program.
        const long spare = long(limit.rlim_cur) - heldFoldersAtMost() - 64;
        most = int(std::min<long>(most, spare / 2));
    }
    return std::max(diskReaders, most);
}

ReaderGrowth::ReaderGrowth(int fewest, int disk, int cap, int start)
    : m_fewest(fewest), m_disk(std::max(fewest, disk)), m_cap(std::max({fewest, disk, cap})), m_wanted(fewest)
{
    if (start > m_disk)
        m_wanted = std::min(start, m_cap);
}

int ReaderGrowth::afterListing(const ListingNote& note)
{
    if (note.waited == Waited::Slept) {
        if (++m_sleptInARow < SleptListingsToTrust)
            return m_wanted;
    } else if (note.waited == Waited::No) {
        m_sleptInARow = 0;
    }
    if (note.waited == Waited::No) {
        if (++m_quickListings >= QuickListingsToCalm) {
            m_quickListings = 0;
            m_wanted = m_fewest;
            m_settled = false;
            m_doubted = false;
            m_rateBefore = 0;
            m_averageSeconds = 0;
        }
        return m_wanted;
    }
    m_quickListings = 0;
    const double took = std::chrono::duration<double>(note.took).count();
    m_averageSeconds = m_averageSeconds == 0 ? took : m_averageSeconds * 0.875 + took * 0.125;
    if (m_wanted < m_disk) {
        m_wanted = m_disk;
        startWindow(note.endedAt);
        return m_wanted;
    }
    if (m_settled)
        return m_wanted;
    // A walk short of folders, or one the readers wait for, says nothing of what more readers would do.
    if (note.shortOfWork) {
        startWindow(note.endedAt);
        return m_wanted;
    }
    // The first step beyond a disk's readers, or beyond those an earlier walk grew to, need not wait for a
    // window: readers that all list at once give their number over the time a listing takes, and the step's
    // own window judges it against that. A far share's narrow top may leave them short of work for many round
    // trips, each with a pipe far from full.
    ++m_windowListings;
    if (m_rateBefore == 0 && m_wanted < m_cap && m_windowListings >= ListingsToJudgeAFirstStep &&
        m_averageSeconds >= std::chrono::duration<double>(LatencyToGrow).count()) {
        stepUp(m_wanted / m_averageSeconds, note.endedAt);
        return m_wanted;
    }
    // Each reader lists about two folders in a window: long enough that readers just started count fully.
    if (m_windowListings >= 2 * m_wanted && note.endedAt > m_windowStart)
        judgeWindow(note.endedAt);
    return m_wanted;
}

void ReaderGrowth::startWindow(ListingClock::time_point at)
{
    m_windowStart = at;
    m_windowListings = 0;
}

void ReaderGrowth::judgeWindow(ListingClock::time_point at)
{
    const double rate = m_windowListings / std::chrono::duration<double>(at - m_windowStart).count();
    if (m_rateBefore > 0) {
        const double possible = double(m_wanted) / m_wantedBefore - 1;
        const bool paid = rate >= m_rateBefore * (1 + GainToKeepGrowing * possible);
        // One window is a few round trips, and its rate is noisy (an uneven tree, the machine's other work):
        // a step that seems not to pay is measured over one more window before it is given up.
        if (!paid && !m_doubted) {
            m_doubted = true;
            startWindow(at);
            return;
        }
        m_doubted = false;
        if (rate < m_rateBefore) {
            // More readers made it slower: the share or this machine is as busy as it gets.
            m_wanted = m_wantedBefore;
            m_settled = true;
            return;
        }
        if (!paid || m_wanted >= m_cap) {
            m_settled = true;
            return;
        }
    } else if (m_averageSeconds < std::chrono::duration<double>(LatencyToGrow).count() || m_wanted >= m_cap) {
        // Listings that answer quickly keep the disk's readers; they are measured again in the next window.
        startWindow(at);
        return;
    }
    stepUp(rate, at);
}

void ReaderGrowth::stepUp(double rate, ListingClock::time_point at)
{
    m_rateBefore = rate;
    m_wantedBefore = m_wanted;
    // A reader whose listing waits longer uses less of a processor while it waits, and the share's answers
    // come later: the step is bigger, so that a far share is filled within a few round trips.
    const double waits = m_averageSeconds / std::chrono::duration<double>(WaitForAStep).count();
    const int factor = std::clamp(int(waits), 2, LargestStep);
    m_wanted = int(std::min<long>(m_cap, long(m_wanted) * factor));
    startWindow(at);
}

} // namespace walkahead
