// SPDX-License-Identifier: MIT
#include "results/resultsort.h"

#include "platform/nativepath.h"

#include <QHash>

#include <QLocale>
#include <QMetaObject>
#include <QStringDecoder>

#include <unicode/ucol.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

QCollator pathCollator()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    return collator;
}

namespace {

constexpr std::size_t CancelCheck = 4096;

bool cancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

QString decoded(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// A collator as pathCollator() makes, opened on ICU itself: QCollator::sortKey guesses a buffer too small
// for numeric keys and asks ICU twice for most names, and its keys are compared through a pointer each.
class NameCollator
{
public:
    NameCollator()
    {
        UErrorCode status = U_ZERO_ERROR;
        m_collator = ucol_open(pathCollator().locale().name().toLatin1().constData(), &status);
        if (U_SUCCESS(status))
            ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        if (U_FAILURE(status)) {
            ucol_close(m_collator);
            m_collator = nullptr;
        }
    }
    ~NameCollator() { ucol_close(m_collator); }
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // Appends the key's bytes to arena; keys compare as bytes. Where ICU would not open (it falls back on
    // its root rules rather than fail) the code points stand in.
    void appendKey(const QString& text, std::string& arena)
    {
        if (!m_collator) {
            const QByteArray utf8 = text.toUtf8();
            arena.append(utf8.constData(), std::size_t(utf8.size()));
            return;
        }
        const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
        m_buffer.resize(std::max<std::size_t>(m_buffer.size(), std::size_t(text.size()) * 4 + 32));
        int size =
            ucol_getSortKey(m_collator, chars, int(text.size()), m_buffer.data(), int(m_buffer.size()));
        if (std::size_t(size) > m_buffer.size()) {
            m_buffer.resize(std::size_t(size));
            size =
                ucol_getSortKey(m_collator, chars, int(text.size()), m_buffer.data(), int(m_buffer.size()));
        }
        arena.append(reinterpret_cast<const char*>(m_buffer.data()), std::size_t(size));
    }

private:
    UCollator* m_collator = nullptr;
    std::vector<uint8_t> m_buffer;
};

// The collation keys of the rows' names, in one block of bytes per thread: a million keys allocated one
// by one cost a tenth of the sort.
struct NameKeys
{
    std::vector<std::string> arenas;
    std::vector<std::string_view> keys; // into arenas, by row
};

// Builds the keys on as many threads as there are cores, each with its own collator. False when cancelled.
bool nameKeys(const ResultSnapshot& rows, const std::atomic<bool>* cancel, NameKeys& out)
{
    const std::size_t n = std::size_t(rows.size());
    const std::size_t workers =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, std::max<std::size_t>(1, n / 20000));
    out.arenas.assign(workers, std::string());
    std::vector<std::vector<std::size_t>> ends(workers);
    const auto work = [&](std::size_t part) {
        NameCollator collator;
        // One text buffer reused for every name: a million allocations cost as much as a tenth of the keys.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString name;
        const std::size_t first = n * part / workers, last = n * (part + 1) / workers;
        std::string& arena = out.arenas[part];
        arena.reserve((last - first) * 48);
        ends[part].reserve(last - first);
        for (std::size_t r = first; r < last; ++r) {
            if ((r - first) % CancelCheck == 0 && cancelled(cancel))
                return;
            const std::string_view path = rows.nativePathView(int(r));
            const std::string_view bytes = fileNameOf(path);
            name.resize(qsizetype(bytes.size()));
            QChar* end =
                decoder.appendToBuffer(name.data(), QByteArrayView(bytes.data(), qsizetype(bytes.size())));
            name.truncate(end - name.constData());
            collator.appendKey(name, arena);
            ends[part].push_back(arena.size());
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < workers; ++part)
        helpers.emplace_back(work, part);
    work(0);
    for (std::thread& t : helpers)
        t.join();
    if (cancelled(cancel))
        return false;
    out.keys.reserve(n);
    for (std::size_t part = 0; part < workers; ++part) {
        std::size_t start = 0;
        for (const std::size_t end : ends[part]) {
            out.keys.emplace_back(out.arenas[part].data() + start, end - start);
            start = end;
        }
    }
    return true;
}

// Ranks the distinct folders of the rows, comparing them part by part; folders that collate equal share a
// rank.
std::vector<quint32> folderRanks(const ResultSnapshot& rows, const std::atomic<bool>* cancel)
{
    const std::size_t n = std::size_t(rows.size());
    std::vector<quint32> folderIdOf(n);
    std::unordered_map<std::string_view, quint32> ids;
    std::vector<std::string_view> folders;
    std::string_view previous;
    quint32 previousId = 0;
    for (std::size_t r = 0; r < n; ++r) {
        const std::string_view path = rows.nativePathView(int(r));
        const std::string_view folder = folderOf(path);
        // The walk lists a folder's files together, so most rows share the previous row's folder.
        if (r == 0 || folder != previous) {
            const auto [it, added] = ids.try_emplace(folder, quint32(folders.size()));
            if (added)
                folders.push_back(folder);
            previous = folder;
            previousId = it->second;
        }
        folderIdOf[r] = previousId;
    }
    if (cancelled(cancel))
        return {};

    const QCollator collator = pathCollator();
    std::vector<std::vector<QCollatorSortKey>> parts;
    parts.reserve(folders.size());
    for (const std::string_view folder : folders) {
        std::vector<QCollatorSortKey> keys;
        std::size_t start = 0;
        while (start < folder.size()) {
            std::size_t end = folder.find('/', start);
            if (end == folder.npos)
                end = folder.size();
            keys.push_back(collator.sortKey(decoded(folder.substr(start, end - start))));
            start = end + 1;
        }
        parts.push_back(std::move(keys));
    }
    const auto compare = [&](quint32 a, quint32 b) {
        const auto& x = parts[a];
        const auto& y = parts[b];
        for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
            if (const int c = x[i].compare(y[i]))
                return c;
        }
        return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
    };
    std::vector<quint32> byOrder(folders.size());
    for (quint32 i = 0; i < byOrder.size(); ++i)
        byOrder[i] = i;
    std::sort(byOrder.begin(), byOrder.end(), [&](quint32 a, quint32 b) { return compare(a, b) < 0; });
    std::vector<quint32> rank(folders.size());
    quint32 current = 0;
    for (std::size_t i = 0; i < byOrder.size(); ++i) {
        if (i > 0 && compare(byOrder[i - 1], byOrder[i]) != 0)
            ++current;
        rank[byOrder[i]] = current;
    }
    for (quint32& f : folderIdOf)
        f = rank[f];
    return folderIdOf;
}

// Each row's place among the distinct problem texts, as the collator orders them.
std::vector<quint32> problemRanks(const ResultSnapshot& rows)
{
    const std::size_t n = std::size_t(rows.size());
    QHash<QString, quint32> ids;
    std::vector<QString> texts;
    std::vector<quint32> of(n);
    for (std::size_t r = 0; r < n; ++r) {
        const QString text = rows.problemText(int(r));
        auto it = ids.constFind(text);
        if (it == ids.constEnd()) {
            it = ids.insert(text, quint32(texts.size()));
            texts.push_back(text);
        }
        of[r] = it.value();
    }
    const QCollator collator = pathCollator();
    std::vector<quint32> byText(texts.size());
    for (quint32 i = 0; i < byText.size(); ++i)
        byText[i] = i;
    std::sort(byText.begin(), byText.end(),
              [&](quint32 a, quint32 b) { return collator.compare(texts[a], texts[b]) < 0; });
    std::vector<quint32> rank(texts.size());
    for (quint32 i = 0; i < byText.size(); ++i)
        rank[byText[i]] = i;
    for (quint32& id : of)
        id = rank[id];
    return of;
}

} // namespace

std::vector<quint32> sortedOrder(const ResultSnapshot& rows, SortKey key, Qt::SortOrder order,
                                 const std::atomic<bool>* cancel)
{
    const std::size_t n = std::size_t(rows.size());
    const std::vector<quint32> folder = folderRanks(rows, cancel);
    if (cancelled(cancel))
        return {};
    NameKeys names;
    if (!nameKeys(rows, cancel, names))
        return {};

    struct Entry
    {
        quint64 major; // the length or the problem's rank above the folder's rank
        quint32 row;
    };
    const std::vector<quint32> problems =
        key == SortKey::Problem ? problemRanks(rows) : std::vector<quint32>();
    std::vector<Entry> entries(n);
    for (std::size_t r = 0; r < n; ++r) {
        const quint64 major = key == SortKey::Length    ? rows.measuredLength(int(r))
                              : key == SortKey::Problem ? problems[r]
                                                        : 0;
        entries[r] = {(major << 32) | folder[r], quint32(r)};
    }
    // Rows are grouped by the cheap part of the key first, so names are compared only within a group.
    const bool ascending = order == Qt::AscendingOrder;
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return ascending ? a.major < b.major : b.major < a.major;
    });
    for (auto group = entries.begin(); group != entries.end();) {
        const auto end =
            std::find_if(group, entries.end(), [&](const Entry& e) { return e.major != group->major; });
        if (end - group > 1) {
            std::stable_sort(group, end, [&](const Entry& a, const Entry& b) {
                const int c = names.keys[a.row].compare(names.keys[b.row]);
                return ascending ? c < 0 : c > 0;
            });
        }
        group = end;
        if (cancelled(cancel))
            return {};
    }
    std::vector<quint32> result(n);
    for (std::size_t i = 0; i < n; ++i)
        result[i] = entries[i].row;
    return result;
}

struct ResultSorter::Job
{
    quint64 serial = 0;
    ResultSnapshot rows;
    SortKey key = SortKey::Path;
    Qt::SortOrder order = Qt::AscendingOrder;
    std::atomic<bool> cancel{false};
    PreparedOrder result;
    std::thread thread;
};

ResultSorter::ResultSorter(ResultModel& model, QObject* parent) : QObject(parent), m_model(model) {}

ResultSorter::~ResultSorter()
{
    for (const auto& job : m_jobs) {
        job->cancel = true;
        job->thread.join();
    }
}

void ResultSorter::setWalkRunning(bool running)
{
    m_searchRunning = running;
    if (running && m_current) {
        cancelCurrent();
        emit sortDropped();
    }
}

bool ResultSorter::sort(int column, Qt::SortOrder order)
{
    if (m_searchRunning || column < 0 || column > 1)
        return false;
    cancelCurrent();
    m_column = column;
    m_order = order;
    m_retries = 0;
    start();
    return true;
}

void ResultSorter::cancelCurrent()
{
    // The worker is not waited for: it notices soon, and its thread is joined when its report arrives.
    for (const auto& job : m_jobs) {
        if (job->serial == m_current)
            job->cancel = true;
    }
    m_current = 0;
}

void ResultSorter::start()
{
    auto job = std::make_shared<Job>();
    job->serial = ++m_serials;
    job->rows = m_model.snapshot();
    job->key = sortKeyOfColumn(m_column, job->rows.problemColumn());
    job->order = m_order;
    m_current = job->serial;
    Job* raw = job.get();
    job->thread = std::thread([this, raw] {
        std::vector<quint32> order = sortedOrder(raw->rows, raw->key, raw->order, &raw->cancel);
        if (!raw->cancel)
            raw->result = ResultModel::prepareOrder(raw->rows, std::move(order));
        const quint64 serial = raw->serial;
        QMetaObject::invokeMethod(
            this, [this, serial] { finished(serial); }, Qt::QueuedConnection);
    });
    m_jobs.push_back(std::move(job));
}

void ResultSorter::finished(quint64 serial)
{
    const auto it =
        std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& j) { return j->serial == serial; });
    if (it == m_jobs.end())
        return;
    const std::shared_ptr<Job> job = *it;
    m_jobs.erase(it);
    job->thread.join();
    if (serial != m_current || job->cancel)
        return;
    m_current = 0;
    if (m_model.applyOrder(std::move(job->result))) {
        emit sorted(m_column, m_order);
        return;
    }
    // The list changed while the order was worked out (a prune, a removal): sort what it holds now.
    if (!m_searchRunning && ++m_retries <= 3) {
        start();
        return;
    }
    emit sortDropped();
}
