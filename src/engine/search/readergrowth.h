// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

// How many readers list at once. From memory a few go fastest; a disk wants its queue kept busy; a network
// share answers each request only after a round trip, so there the only way to be fast is many requests in
// flight: while listings wait long and more readers list more folders a second, more readers start, up to a
// cap. Kept apart from the pool's threads and lock, so that it can be tried on any sequence of listings.
namespace walkahead {

using ListingClock = std::chrono::steady_clock;

// Listings that wait at least this long on average are worth overlapping beyond a disk's readers: a local
// disk answers a folder well within it, a network share takes several round trips per folder.
inline constexpr auto LatencyToGrow = std::chrono::milliseconds(2);
// A step up is kept only when the listings a second rose by at least this part of what the step could give.
inline constexpr double GainToKeepGrowing = 0.25;
// Listings in a row that slept before sleeps are taken for a network's answers: a local folder's listing
// sleeps now and then too, for memory or a lock, but never many in a row.
inline constexpr int SleptListingsToTrust = 4;
// The readers wanted grow by at most this factor a step: doubled, or as many times more as a listing waits
// this long on average.
inline constexpr auto WaitForAStep = std::chrono::milliseconds(8);
inline constexpr int LargestStep = 8;
// Listings, all readers busy, that give the average a first step beyond a disk's readers is sized by.
inline constexpr int ListingsToJudgeAFirstStep = 4;
// Readers on a share at most, per reader a disk gets.
inline constexpr int ShareReadersPerDiskReader = 16;
inline constexpr int ShareReadersAtMost = 256;

// The most readers a walk may have on a share, given those a disk gets and the descriptors the process may
// still open (each reader holds one folder open while it lists, besides the folders held for their
// sub-folders).
int readersOnShareAtMost(int diskReaders);

// What a thread waited for so far: blocks read from storage, and the times it slept inside the system (a
// network file system's requests among them). Read again right after the thread may have slept for reasons
// of its own (a lock, a condition), so that only a listing's sleeps are seen.
enum class Waited : unsigned char {
    No,
    Slept, // slept in the system: a network's answer, or now and then a lock of the kernel's
    Read,  // read from storage, or took as long as only a network takes
};
struct ThreadWaits
{
    long blockReads = 0;
    long sleeps = 0;
    // On a thread that sleeps between listings for reasons of its own (the walk's: reports, waits), the
    // counts are read afresh as each listing starts.
    bool sleepsBetween = false;
    // Reads the counts again; what rose since the last reading.
    Waited renew();
    void listingStarts()
    {
        if (sleepsBetween)
            renew();
    }
};

struct ListingNote
{
    ListingClock::time_point endedAt;
    ListingClock::duration took{};
    Waited waited = Waited::No;
    bool shortOfWork = false; // no folder left queued, or the walk is as far behind as it may be
};

class ReaderGrowth
{
public:
    // fewest: readers while listings come from memory; disk: once they wait; cap: at most, on a share;
    // start, when beyond disk: what an earlier walk on the same share grew to, measured on from there.
    ReaderGrowth(int fewest, int disk, int cap, int start = 0);
    // Whether the readers grew beyond a disk's, for a share.
    bool grown() const { return m_wanted > m_disk; }
    // The readers wanted after this listing.
    int afterListing(const ListingNote& note);
    int wanted() const { return m_wanted; }

private:
    void startWindow(ListingClock::time_point at);
    void judgeWindow(ListingClock::time_point at);
    void stepUp(double rate, ListingClock::time_point at);

    int m_fewest;
    int m_disk;
    int m_cap;
    int m_wanted;
    int m_quickListings = 0;
    int m_sleptInARow = 0;
    double m_averageSeconds = 0; // of a listing that waited, smoothed
    bool m_settled = false;      // growing stopped paying: wanted stays until listings come from memory
    bool m_doubted = false;      // the last window showed no gain from the step: the next one decides
    // The listings a second before the last step up, and the window the current step is measured over.
    double m_rateBefore = 0;
    int m_wantedBefore = 0;
    ListingClock::time_point m_windowStart{};
    int m_windowListings = 0;
};

} // namespace walkahead
