// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Hands things to the desktop without waiting: nothing here reports whether the desktop coped.
namespace Shell {

QUrl urlForNativePath(const QByteArray& nativePath);

// Starts xdg-open on the url; found through PATH so that a recording stub can stand in.
void open(const QUrl& url);

// Asks the file manager to show the file selected; opens the containing folder where no file manager answers.
void reveal(const QByteArray& nativePath);

} // namespace Shell

// The source of the start-up's 1-in-100 draw.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    // A whole number from 1 to 100.
    virtual int draw1to100() = 0;
};

class SystemRandom : public RandomSource
{
public:
    int draw1to100() override;
};
