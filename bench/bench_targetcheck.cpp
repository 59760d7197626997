// SPDX-License-Identifier: MIT
// Times the target check on one folder of a million names for each profile: the names are ASCII with
// one in a thousand a case twin of another, or mixed with accents and emoji, some in NFD. Prints names per
// second and the problems found; a check that grew with the square of a folder would not end here.
#include "target/targetcheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int Names = 1000000;

std::vector<QByteArray> asciiNames()
{
    std::vector<QByteArray> names;
    names.reserve(Names);
    for (int i = 0; i < Names; ++i)
        names.push_back(i % 1000 == 999 ? "REPORT-" + QByteArray::number(i - 999) + ".TXT"
                                        : "report-" + QByteArray::number(i) + ".txt");
    return names;
}

std::vector<QByteArray> mixedNames()
{
    std::vector<QByteArray> names;
    names.reserve(Names);
    for (int i = 0; i < Names; ++i) {
        const QByteArray number = QByteArray::number(i);
        switch (i % 4) {
        case 0:
            names.push_back("caf\xC3\xA9-" + number);
            break;
        case 1:
            names.push_back("cafe\xCC\x81-" + number); // NFD, another number: no twin
            break;
        case 2:
            names.push_back("\xF0\x9F\x98\x80 photo " + number + ".jpg");
            break;
        default:
            names.push_back("\xC3\x84rger: " + number + " ");
        }
    }
    return names;
}

void time(const char* label, const TargetProfile& profile, const std::vector<QByteArray>& names)
{
    QElapsedTimer timer;
    timer.start();
    TargetFolderCheck check(profile, TargetRuleSet::all(), "/media/stick");
    check.beginFolder("photos");
    for (const QByteArray& name : names)
        check.add(name, false, 1000);
    const std::size_t problems = check.finishFolder().size();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%-8s %-6s %8.0f names/s  %7zu problems  %.2f s\n", qPrintable(profile.key), label,
                double(names.size()) / seconds, problems, seconds);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<QByteArray> ascii = asciiNames();
    const std::vector<QByteArray> mixed = mixedNames();
    for (const TargetProfile& profile : targetProfiles()) {
        time("ascii", profile, ascii);
        time("mixed", profile, mixed);
    }
    return 0;
}
