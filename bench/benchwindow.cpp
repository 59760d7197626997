// SPDX-License-Identifier: MIT
#include "benchwindow.h"

#include "services/shell.h"

namespace {
class NoDraw : public RandomSource
{
public:
    int draw1to100() override { return 1; }
};
} // namespace

std::unique_ptr<MainWindow> makeBenchWindow(Dialogs& dialogs, const QString& installFolder)
{
    static NoDraw noDraw;
    MainWindowServices services;
    services.dialogs = &dialogs;
    services.random = &noDraw;
    services.installFolder = installFolder;
    services.endProgram = [] {};
    auto form = std::make_unique<MainWindow>(services);
    form->load();
    return form;
}
