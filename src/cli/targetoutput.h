// SPDX-License-Identifier: MIT
#pragma once

#include "search/walker.h"
#include "target/targetwalk.h"

#include <QString>

#include <cstdio>
#include <optional>
#include <string>

// lentrova-find's target check: its options, and the lines, JSON and summary it writes.

struct FinderTargetOptions
{
    std::optional<QString> profile;    // --target: a profile key or "auto"
    std::optional<std::string> folder; // --target-folder, bytes as given
    std::optional<QString> rules;      // --rules, as ruleSetFromText reads it
    bool withReason = false;
    bool summary = false;
    bool json = false;
    bool formatGiven = false;

    bool active() const { return profile.has_value(); }
    bool anyGiven() const { return profile || folder || rules || withReason || summary || formatGiven; }
};

// Whether arg is one of the target check's options; takesValue says whether a value follows it.
bool isTargetOption(const std::string& arg, bool* takesValue);
// Takes one of them; false, with error naming the option, when its value is refused.
bool takeTargetOption(const std::string& arg, const std::string& value, FinderTargetOptions& into,
                      QString& error);

// The check the options ask for; null with error naming the option ("--target: unknown profile ...").
std::optional<TargetCheckSetup> resolveFinderTarget(const FinderTargetOptions& options, QString& error);

// Turns a target walk's reports into output and adds up what it checked.
class TargetOutput
{
public:
    // quote: paths as a terminal shows them (lines only).
    TargetOutput(const FinderTargetOptions& options, bool quote) : m_options(options), m_quote(quote) {}
    // Appends a line or a JSON object per row of the report to text.
    void append(const WalkReport& report, std::string& text);
    // "rule title: N files, M folders" per rule broken, then "checked: F files, D folders".
    std::string summary() const;

private:
    void appendLine(std::string_view path, const QString& problem, std::string& text) const;
    void appendJson(std::string_view path, const std::vector<TargetProblem>& reasons,
                    std::string& text) const;

    const FinderTargetOptions& m_options;
    bool m_quote;
    TargetTally m_tally;
};

// A JSON string, quotes included, of UTF-8 text (bytes that are not UTF-8 become U+FFFD).
std::string jsonString(std::string_view utf8);
