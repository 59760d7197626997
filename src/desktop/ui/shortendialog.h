// SPDX-License-Identifier: MIT
#pragma once

#include "fileops/shorten.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class ShortenPreviewModel;

// Asks for a limit and previews what "Shorten Checked Names…" would do; changes nothing on disk itself.
class ShortenDialog : public QDialog
{
    Q_OBJECT
public:
    ShortenDialog(std::vector<ShortenCandidate> candidates, const QString& limitText, const QString& title,
                  QWidget* parent = nullptr);
    ~ShortenDialog() override;

    QLineEdit* limitEdit() const { return m_limitEdit; }
    QPushButton* applyButton() const { return m_apply; }
    QTableView* preview() const { return m_preview; }
    QLabel* summary() const { return m_summary; }
    // Valid after the limit changed: what Apply would rename.
    const std::vector<ShortenItem>& plan() const;
    std::optional<ShortenLimit> limit() const { return m_limit; }

    // Rebuilds the preview for the limit typed now (also run, debounced, as the user types).
    void refresh();

private:
    std::vector<ShortenCandidate> m_candidates;
    std::optional<ShortenLimit> m_limit;
    QLineEdit* m_limitEdit = nullptr;
    QLabel* m_summary = nullptr;
    QTableView* m_preview = nullptr;
    QPushButton* m_apply = nullptr;
    ShortenPreviewModel* m_model = nullptr;
};
