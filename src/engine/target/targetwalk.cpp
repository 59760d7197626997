// SPDX-License-Identifier: MIT
#include "target/targetwalk.h"

#include "search/utf8name.h"
#include "target/targetpath.h"

#include <QFile>
#include <QStringList>

bool TargetCheckSetup::wantsSizes() const
{
    return profile && profile->fileSizeLimit > 0 && rules.contains(TargetRule::FileTooLarge);
}

std::optional<TargetCheckSetup> resolveTargetSetup(const QString& profileKey, const QByteArray& targetFolder,
                                                   const TargetRuleSet& rules, QString* error)
{
    error->clear();
    TargetCheckSetup setup;
    setup.rules = rules;
    if (profileKey == u"auto") {
        if (targetFolder.isEmpty()) {
            *error = QStringLiteral("auto needs a target folder");
            return std::nullopt;
        }
        const AutoProfile found = autoProfileForFolder(targetFolder);
        if (!found.error.isEmpty()) {
            *error = found.error;
            return std::nullopt;
        }
        setup.profile = targetProfile(found.key);
        setup.targetFolder = found.targetFolder;
        setup.fileSystemType = found.fileSystemType;
        if (!setup.profile) {
            *error =
                QStringLiteral("no profile for the file system ") + QString::fromUtf8(found.fileSystemType);
            return std::nullopt;
        }
        return setup;
    }
    setup.profile = targetProfile(profileKey);
    if (!setup.profile) {
        QStringList keys;
        for (const TargetProfile& p : targetProfiles())
            keys << p.key;
        keys << QStringLiteral("auto");
        *error =
            QStringLiteral("unknown profile \"%1\" (%2)").arg(profileKey, keys.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    // A named profile takes the folder as typed: it may be on another machine, or not made yet.
    setup.targetFolder = targetFolder;
    return setup;
}

std::optional<TargetCheckSetup> resolveTargetSetup(const QString& profileKey, const QString& targetFolder,
                                                   const TargetRuleSet& rules, QString* error)
{
    return resolveTargetSetup(profileKey, QFile::encodeName(targetFolder), rules, error);
}

void TargetTally::add(const TargetTally& other)
{
    files += other.files;
    folders += other.folders;
    for (int i = 0; i < TargetRuleCount; ++i) {
        fileSummary.add(TargetRule(i), other.fileSummary.count(TargetRule(i)));
        folderSummary.add(TargetRule(i), other.folderSummary.count(TargetRule(i)));
    }
}

QString problemText(const std::vector<TargetProblem>& problems)
{
    QString text;
    for (const TargetProblem& problem : problems) {
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += problem.detail;
    }
    return text;
}

void addTargetRow(ResultBatch& batch, std::string_view nativePath, const std::vector<TargetProblem>& problems)
{
    ResultBatch::Problem problem{quint32(batch.entries.size()), quint32(batch.problemBytes.size()), 0,
                                 quint32(batch.reasons.size()), quint32(problems.size())};
    for (const TargetProblem& reason : problems) {
        if (batch.problemBytes.size() > problem.offset)
            batch.problemBytes.append("; ");
        const std::size_t at = batch.problemBytes.size();
        appendUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(reason.detail.constData()),
                                       std::size_t(reason.detail.size())),
                   batch.problemBytes);
        batch.reasons.push_back({quint32(at), quint32(batch.problemBytes.size() - at), quint8(reason.rule)});
    }
    problem.length = quint32(batch.problemBytes.size() - problem.offset);
    batch.problems.push_back(problem);
    batch.add(nativePath, 0);
}

std::vector<TargetProblem> targetReasons(const ResultBatch& batch, const ResultBatch::Problem& problem)
{
    std::vector<TargetProblem> out;
    for (quint32 i = 0; i < problem.reasonCount; ++i) {
        const ResultBatch::Reason& r = batch.reasons[problem.firstReason + i];
        out.push_back({TargetRule(r.rule),
                       QString::fromUtf8(batch.problemBytes.data() + r.offset, qsizetype(r.length))});
    }
    return out;
}
