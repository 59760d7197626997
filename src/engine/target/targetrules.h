// SPDX-License-Identifier: MIT
#pragma once

#include "target/targetprofile.h"

#include <QByteArray>
#include <QString>

#include <string_view>
#include <vector>

// The rules a name can break at a target. Collisions are found per folder by NameCollisions
// (collisions.h); a folder or file that could not be read is reported by unreadableProblem.
enum class TargetRule {
    ForbiddenCharacter,
    ControlCharacter,
    ReservedName,
    TrailingPeriod,
    TrailingSpace,
    LeadingSpace,
    OwnName,
    NotUtf8,
    NameTooLong,
    PathTooLong,
    FileTooLarge,
    CaseCollision,
    FormCollision,
    Unreadable,
};
constexpr int TargetRuleCount = int(TargetRule::Unreadable) + 1;

// Stable machine words for JSON and CSV: "forbidden-character", ...
QString ruleKey(TargetRule rule);
// Words for a summary: "forbidden characters", ...
QString ruleTitle(TargetRule rule);
// The rule of that key, false when none has it.
bool ruleFromKey(QStringView key, TargetRule* rule);

// Which rules run; all of them unless switched off.
class TargetRuleSet
{
public:
    static TargetRuleSet all() { return TargetRuleSet((1u << TargetRuleCount) - 1); }
    static TargetRuleSet none() { return TargetRuleSet(0); }
    TargetRuleSet() : TargetRuleSet(all()) {}
    bool contains(TargetRule rule) const { return m_bits & bit(rule); }
    void set(TargetRule rule, bool on) { m_bits = on ? (m_bits | bit(rule)) : (m_bits & ~bit(rule)); }
    bool operator==(const TargetRuleSet&) const = default;

private:
    explicit TargetRuleSet(unsigned bits) : m_bits(bits) {}
    static unsigned bit(TargetRule rule) { return 1u << int(rule); }
    unsigned m_bits;
};

// One broken rule, with the words a user acts on: "\":\" at 14", "reserved name \"CON\"", ...
struct TargetProblem
{
    TargetRule rule;
    QString detail;
    bool operator==(const TargetProblem&) const = default;
};

struct TargetItem
{
    QByteArray name; // the name's bytes as listed
    bool folder = false;
    qint64 size = 0; // files only
    // The item's whole path at the target in the profile's path unit (TargetPath::lengthOf); 0 skips the
    // path rule.
    qint64 pathLength = 0;
    // The name's length in UTF-16 units where the caller has measured it already; -1 has it measured.
    qint64 nameUnits = -1;
};

// Every rule of the enabled set that the item's own name, size and path break, in the order of TargetRule; a
// name breaking several rules gets each. Positions count UTF-16 units from 1, as the name's length does.
std::vector<TargetProblem> checkName(const TargetProfile& profile, const TargetRuleSet& enabled,
                                     const TargetItem& item);
// The same, added to out: a walk checks a million names with one vector.
void addNameProblems(const TargetProfile& profile, const TargetRuleSet& enabled, const TargetItem& item,
                     std::vector<TargetProblem>& out);

// True when the item surely breaks none of the enabled rules of its own (collisions aside), told without
// decoding its name: an ASCII name with no character any target refuses, no name a target reserves, and
// lengths and size within the limits. False says nothing: checkName then decides.
bool surelyBreaksNothing(const TargetProfile& profile, const TargetRuleSet& enabled, std::string_view name,
                         bool folder, qint64 size, qint64 pathLength);

// A folder or file the walk could not read, with the system's words: "cannot be read: Permission denied".
TargetProblem unreadableProblem(const QString& systemError);

// A size as the problems write it: "5.2 GB", "4 GB", "700 bytes" (units of 1,024).
QString targetSizeText(qint64 bytes);
