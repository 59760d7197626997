// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"
#include "search/lengthunit.h"
#include "search/nametest.h"

#include <QString>

#include <functional>
#include <optional>
#include <string_view>

class ShortenDialog;

// Shows the shortening dialog and answers whether its apply button was pressed; tests answer in its place.
using ShortenDialogRunner = std::function<bool(ShortenDialog& dialog)>;

// The criteria of the search that filled the result list, as far as they were usable.
struct ListCriteria
{
    std::optional<LengthSpec> length; // empty: no search yet, or its length was not usable
    std::optional<Comparison> comparison;

    static ListCriteria read(const QString& lengthText, std::optional<Comparison> comparison);
    // What the Length column counts.
    LengthUnit unit() const { return length ? length->unit : LengthUnit::Name; }
};

// The limit the shortening dialog offers first: the length a Greater Than search looked for, when the
// shortener takes its unit; empty otherwise.
QString defaultShortenLimit(const ListCriteria& criteria);

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

    // The search that fills the list started, or its criteria changed while it ran.
    void setListCriteria(const ListCriteria& criteria) { m_criteria = criteria; }

    void shortenCheckedNames();
    void undoLastShortening();

private:
    ShortenDialogRunner m_runDialog;
    ListCriteria m_criteria;
};
