// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"
#include "results/resultmodel.h"
#include "support/scripteddialogs.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "ui/resultlistview.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <cmath>
#include <map>

namespace {

// WCAG 2's relative luminance of an sRGB colour, and the contrast ratio of two colours (1 to 21).
double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What a region of the rendered window shows: its background is the colour most of its pixels have, and its
// text the pixel that stands out most from that (the core of a glyph's stem, where anti-aliasing leaves the
// text's own colour).
struct Legibility
{
    QRgb background = 0;
    QRgb text = 0;
    double ratio = 1;
};

Legibility legibility(const QImage& image, const QRect& region)
{
    std::map<QRgb, int> counts;
    const QRect inside = region & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    Legibility r;
    int most = 0;
    for (const auto& [colour, count] : counts)
        if (count > most) {
            most = count;
            r.background = colour;
        }
    for (const auto& [colour, count] : counts)
        if (const double c = contrast(colour, r.background); c > r.ratio) {
            r.ratio = c;
            r.text = colour;
        }
    return r;
}

// Fusion's light palette, and a dark one as desktops set it (dark fields, light text).
QPalette lightPalette()
{
    return QApplication::style()->standardPalette();
}

QPalette darkPalette()
{
    QPalette dark(QColor(0x31, 0x36, 0x3b), QColor(0x2a, 0x2e, 0x32));
    dark.setColor(QPalette::Base, QColor(0x1b, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x23, 0x26, 0x29));
    dark.setColor(QPalette::Text, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::ButtonText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    dark.setColor(QPalette::HighlightedText, QColor(0xfc, 0xfc, 0xfc));
    return dark;
}

} // namespace

class TestContrast : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QApplication::setPalette(lightPalette()); }

    // Every caption and text of the window, rendered, stands out from its background by at least
    // WCAG's 4.5:1, under either palette, with the program's skin and without it.
    void captionsAreReadable_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("skinned");
        QTest::newRow("light, skin") << lightPalette() << true;
        QTest::newRow("dark, skin") << darkPalette() << true;
        QTest::newRow("light, no skin") << lightPalette() << false;
        QTest::newRow("dark, no skin") << darkPalette() << false;
    }

    void captionsAreReadable()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, skinned);
        QApplication::setPalette(palette);
        QTemporaryDir install;
        if (skinned) {
            QVERIFY(QDir().mkpath(install.path() + "/x"));
            QVERIFY(QFile::copy(QFINDTESTDATA("../install/x/o.cjs"), install.path() + "/x/o.cjs"));
        }
        ScriptedDialogs dialogs;
        auto form = makeTestWindow(dialogs, install.path());
        QVERIFY(dialogs.errorTexts().isEmpty());
        QCOMPARE(!form->styleSheet().isEmpty(), skinned);
        form->filterEdit()->setText(QStringLiteral("report"));
        form->lengthEdit()->setText(QStringLiteral("12"));
        form->folderModel()->appendRow(new QStandardItem(QStringLiteral("/home/user/Documents")));
        addResult(*form->resultModel(), QStringLiteral("/home/user/Documents/annual-report-2025.pdf"));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QImage image = form->grab().toImage();

        // Each place where the window shows text, in the window's coordinates, borders and frames left out.
        QList<std::pair<QString, QRect>> places;
        const auto inWindow = [&](const QWidget* widget, const QRect& rect) {
            return QRect(widget->mapTo(form.get(), rect.topLeft()), rect.size());
        };
        for (QPushButton* button : form->findChildren<QPushButton*>())
            places.append({button->text(), inWindow(button, button->rect().adjusted(4, 4, -4, -4))});
        for (QGroupBox* frame : {form->filterFrame(), form->lengthFrame()}) {
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = frame->title();
            option.subControls = QStyle::SC_GroupBoxLabel;
            const QRect label =
                frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
            places.append({frame->title(), inWindow(frame, label)});
        }
        places.append({QStringLiteral("progress bar at rest"),
                       inWindow(form->progressBar(), form->progressBar()->rect().adjusted(4, 4, -4, -4))});
        for (QLineEdit* text : {form->filterEdit(), form->lengthEdit()})
            places.append({text->objectName(), inWindow(text, text->rect().adjusted(4, 4, -4, -4))});
        places.append(
            {QStringLiteral("comparison"),
             inWindow(form->comparisonCombo(), form->comparisonCombo()->rect().adjusted(4, 4, -28, -4))});
        QHeaderView* header = form->resultList()->horizontalHeader();
        places.append({QStringLiteral("result list heading"),
                       inWindow(header, QRect(header->sectionViewportPosition(0) + 4, 3,
                                              header->sectionSize(0) - 8, header->height() - 6))});
        // The path's cell after its check box, and the length's cell.
        const QRect pathCell = form->resultList()->visualRect(form->resultModel()->index(0, 0));
        places.append({QStringLiteral("result path"),
                       inWindow(form->resultList()->viewport(), pathCell.adjusted(24, 1, -2, -1))});
        const QRect lengthCell = form->resultList()->visualRect(form->resultModel()->index(0, 1));
        places.append({QStringLiteral("result length"),
                       inWindow(form->resultList()->viewport(), lengthCell.adjusted(2, 1, -2, -1))});
        const QRect folderCell = form->folderList()->visualRect(form->folderModel()->index(0, 0));
        places.append({QStringLiteral("folder"),
                       inWindow(form->folderList()->viewport(), folderCell.adjusted(2, 1, -2, -1))});

        QCOMPARE(places.size(), 14 + 2 + 1 + 2 + 1 + 1 + 3);
        for (const auto& [what, where] : places) {
            QVERIFY2(!where.isEmpty() && image.rect().contains(where), qPrintable(what));
            const Legibility seen = legibility(image, where);
            QVERIFY2(seen.ratio >= 4.5,
                     qPrintable(QStringLiteral("%1: text %2 on %3, contrast %4:1")
                                    .arg(what, QColor(seen.text).name(), QColor(seen.background).name())
                                    .arg(seen.ratio, 0, 'f', 2)));
        }
    }
};

LENTROVA_TEST_MAIN(TestContrast)
#include "test_contrast.moc"
