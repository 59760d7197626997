// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"
#include "search/lengthunit.h"

#include <QString>

#include <functional>
#include <optional>
#include <string_view>

class ShortenDialog;

// Shows the shortening dialog and answers whether its apply button was pressed; tests answer in its place.
using ShortenDialogRunner = std::function<bool(ShortenDialog& dialog)>;

// The limit the shortening dialog offers first: the length a Greater Than search looked for, when the
// shortener takes its unit; empty otherwise.
QString defaultShortenLimit(const std::optional<LengthCriterion>& criterion);

// The Length column's value for a row whose file changed its name, the folders above unchanged: shown is the
// value it has now, in unit.
quint16 lengthAfterRename(quint16 shown, LengthUnit unit, std::string_view oldName, std::string_view newName);

// Renaming the files of checked rows: shortening their names to a limit, and undoing the last batch. Both
// take the window's file operation gate and run their file work on a worker thread while the window turns,
// with the file operation progress window; its Cancel, like closing the window, stops after the file in hand.
class NameActions : private ActionController
{
public:
    // runDialog empty: the dialog is shown modally.
    NameActions(const ActionServices& services, ShortenDialogRunner runDialog)
        : ActionController(services), m_runDialog(std::move(runDialog))
    {
    }

    // The search that fills the list started, or its criterion changed while it ran.
    void setListCriterion(const LengthCriterion& criterion) { m_criterion = criterion; }

    void shortenCheckedNames();
    void undoLastShortening();

private:
    ShortenDialogRunner m_runDialog;
    std::optional<LengthCriterion> m_criterion; // nothing: no usable search filled the list yet
    // What the Length column counts.
    LengthUnit listUnit() const { return m_criterion ? m_criterion->unit : LengthUnit::Name; }
};
